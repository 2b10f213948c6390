#pragma once
// The main window: the clock face above, the options panel below it. A front end of the
// DisplayLink, which keeps the time, the frames, the line and the port choice; the window shows
// what it reports.
//
// Controls and their roles:
//   Image1..Image4  hour tens, hour units, minute tens, minute units (big digits)
//   Image5, Image6  second tens, second units (small digits)
//   Image7          the blinking colon        Image8   folds the options panel in and out
//   Shape1          the seconds marker on Line1
//   Label1          the frame as sent         Label2   hidden; the pattern of 9
//   Label3          the port in use           Label4..Label6, Label8   version, maker, author
//   Label7, Label11 the maker's web address   Label9   "Nastavení hodin" (setting the time)
//   Label10         the data-file version     Option1..Option5         COM1..COM5
//   Timer1          the second timer (the link's)
//
// Controls carry their names as object names, so tests and tools find them with findChild.
// Handlers are public slots named control_event and do exactly what the click does. Every
// outside effect goes through Form1Options: the clock, the serial lines, and the desktop
// (message boxes, browser, terminal).
//
// A port mapped to "virtual" shows its display in a window of its own (VirtualDisplayWindow),
// open while that port is in use and closed with the program.
//
// Ending: closing the window by any means hides it at once and stops the link; the event loop
// ends with the link's status once the line is at rest. Form_Load refuses a start without the
// pictures ("ERROR 03") through the same stop, with status 3.

#include "clock/clockengine.h"
#include "controls.h"
#include "link/displaylink.h"

#include <QWidget>
#include <array>
#include <memory>

class QRadioButton;

namespace tikvor {

class Desktop;
class SerialLines;
class VirtualDisplayWindow;

struct Form1Options {
    QString programFolder;            // where Data.ini and data/ live
    const TimeSource* time = nullptr; // nullptr: the tick timer's own reading of the clock
    Desktop* desktop = nullptr;       // nullptr: the real desktop
    SerialLines* lines = nullptr;     // nullptr: the real ports, mapped by Data.ini
    bool showInTaskbar = true;        // the one property in which the two programs differ
    LineSender::Clock lineClock;      // empty: the line thread's own steady clock
};

class Form1 : public QWidget, private ClockFace {
    Q_OBJECT
public:
    // Client area of the window with the options panel folded away and shown.
    static constexpr QSize FoldedSize{265, 120};
    static constexpr QSize UnfoldedSize{265, 364};

    explicit Form1(Form1Options options, QWidget* parent = nullptr);
    ~Form1() override;

    // Brings the program up; the tick timer runs only once this has returned. Returns false
    // when the start was refused (a picture is missing): the link is then stopping with
    // status 3.
    bool Form_Load();

    bool showsInTaskbar() const { return m_options.showInTaskbar; }
    DisplayLink& link() { return m_link; }
    // The emulated display's window while its port is in use; else null.
    VirtualDisplayWindow* virtualDisplayWindow() const { return m_virtualWindow.get(); }
    const ClockState& state() const { return m_link.state(); }
    const CharacterTable& characterTable() const { return m_link.characterTable(); }
    QString dataIniPath() const { return m_link.dataIniPath(); }
    SecondTimer& timer() { return m_link.timer(); }
    // The thread that clocks frames out and chooses ports; tests wait on it before they read the
    // lines, then deliver what it reported (see settle in the tests).
    LineSender* lineSender() { return m_link.lineSender(); }

public slots:
    void Timer1_Timer();
    void Image8_Click();
    void Label7_Click();
    void Label9_Click();
    void Label10_Click();
    void Label11_Click();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void Option5_Click();

protected:
    // Closing the window ends the program: no tick and no frame after it, the port released.
    void closeEvent(QCloseEvent* event) override;

private:
    bool CheckDataFolder();
    void InitCharactersAndPort();

    // ClockFace
    bool isMinimised() const override;
    void setCaption(const QString& caption) override;
    void showPicture(int index, const QString& name) override;
    void moveMarker(int leftTwips) override;
    void showFrame(const QString& labelText) override;

    void buildClockFace();
    void buildOptionsPanel();
    // rightLimit: the pixel column the label's text must not pass (a frame, the window margin).
    ClickLabel* addLabel(const char* name, const QString& text, QRect twips, QColor color,
                         const QFont& font, int rightLimit = FoldedSize.width() - 8);
    QRadioButton* option(int n) const { return m_options5[static_cast<size_t>(n - 1)]; }
    void showDataIniMissing();
    // What a port choice decided, shown: the buttons, the "CHYBA 02" box, then Label3.
    void showChoice(const PortView& view);
    // Opens or closes the emulated display's window as the port in use changed.
    void showVirtualDisplay();
    void bringBackVirtualDisplay();

    Form1Options m_options;
    std::unique_ptr<Desktop> m_ownDesktop;
    Desktop* m_desktop;
    DisplayLink m_link;
    bool m_selectingFromCode = false;

    std::array<PictureBox*, 8> m_images{}; // Image1..Image8
    ShapeControl* m_shape1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    std::array<QRadioButton*, 5> m_options5{}; // Option1..Option5
    // Declared after the link: it goes before the display it shows.
    std::unique_ptr<VirtualDisplayWindow> m_virtualWindow;
};

} // namespace tikvor
