#pragma once
// The main window: the clock face above, the options panel below it.
//
// Controls carry their names as object names ("Image1", "Label3", "Option2",
// "Shape1", "Line4"), so tests and tools find them with findChild. Handlers
// are public slots named control_event and do exactly what the click does.
// Every outside effect goes through Form1Options: the clock, the serial
// lines, and the desktop (message boxes, browser, terminal, exit).

#include "clock/clockengine.h"
#include "clock/clockstate.h"
#include "clock/secondtimer.h"
#include "controls.h"
#include "port/linesender.h"
#include "port/portchooser.h"

#include <QWidget>
#include <array>
#include <memory>

class QRadioButton;

namespace tikvor {

class Desktop;
class SerialLines;

struct Form1Options {
    QString programFolder;            // where Data.ini and data/ live
    const TimeSource* time = nullptr; // nullptr: the tick timer's own reading of the clock
    Desktop* desktop = nullptr;       // nullptr: the real desktop
    SerialLines* lines = nullptr;     // nullptr: the real ports, mapped by Data.ini
    bool showInTaskbar = true;        // the one property in which the two programs differ
    LineSender::Clock lineClock;      // empty: the line thread's own steady clock
};

class Form1 : public QWidget, private ClockFace, private FrameSink {
    Q_OBJECT
public:
    // Client area of the window with the options panel folded away and shown.
    static constexpr QSize FoldedSize{265, 120};
    static constexpr QSize UnfoldedSize{265, 364};

    explicit Form1(Form1Options options, QWidget* parent = nullptr);
    ~Form1() override;

    // Brings the program up; the tick timer runs only once this has returned. Returns false
    // when the start was refused (a picture is missing) and the program is to end.
    bool Form_Load();

    bool showsInTaskbar() const { return m_options.showInTaskbar; }
    const ClockState& state() const { return m_state; }
    const CharacterTable& characterTable() const { return m_table; }
    QString dataIniPath() const { return m_dataIniPath; }
    SecondTimer& timer() { return m_timer1; }
    // The thread that clocks frames out and chooses ports; tests wait on it before they read the
    // lines, then deliver what it reported (see settle in the tests).
    LineSender* lineSender() { return m_sender.get(); }

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
    void showPicture(int index, const QString& path) override;
    void moveMarker(int leftTwips) override;
    void showFrame(const QString& labelText) override;
    // FrameSink
    void sendFrame(ClockState& state) override;

    void buildClockFace();
    void buildOptionsPanel();
    // rightLimit: the pixel column the label's text must not pass (a frame, the window margin).
    ClickLabel* addLabel(const char* name, const QString& text, QRect twips, QColor color,
                         const QFont& font, int rightLimit = FoldedSize.width() - 8);
    QRadioButton* option(int n) const { return m_options5[static_cast<size_t>(n - 1)]; }
    void showDataIniMissing();
    // A port choice runs on the line thread; what it decided comes back here.
    void choosePort(int n);
    void showChoice(const PortView& view);

    Form1Options m_options;
    SecondTimer m_timer1; // before the time source that reads it
    std::unique_ptr<Desktop> m_ownDesktop;
    std::unique_ptr<TimeSource> m_ownTime;
    std::unique_ptr<LineSender> m_sender;
    Desktop* m_desktop;

    ClockState m_state;
    CharacterTable m_table;
    QString m_dataIniPath;
    ClockEngine m_engine;
    std::unique_ptr<PortChooser> m_chooser; // used on the line thread only; outlives m_sender
    bool m_selectingFromCode = false;

    std::array<PictureBox*, 8> m_images{}; // Image1..Image8
    ShapeControl* m_shape1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label3 = nullptr;
    std::array<QRadioButton*, 5> m_options5{}; // Option1..Option5
};

} // namespace tikvor
