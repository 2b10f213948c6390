#pragma once
// The display link as both front ends share it: Data.ini and the character table, ClockState,
// the second timer and the clock engine, the line thread, the port choice and lost-and-found.
// The window (Form1) and tikvor-display only show what it reports. Qt Core only; it lives on the
// thread of the event loop, and every signal comes on that thread.
//
// Contract:
// - Construction reads nothing and opens nothing. dataIniPresent() is the "CHYBA 01" fact for
//   the front end to show its own way; start() then loads the character table, makes the first
//   port choice on the line thread, runs the first tick at once and starts the second timer.
// - Port choice, PortPolicy::Buttons (the window): the start-up scan and the five buttons' ring
//   (ScanAtStartUp, ClickOption). Each outcome is reported by portChosen; the front end shows
//   its box and buttons inside that signal, and only when it returns are PortCaption and
//   PortClosed taken over, so the caption follows the box. Clicks made while a choice runs wait
//   their turn.
//   A disabled button's PortView::refusals entry says why its port failed, read from ComLines
//   (when the lines are real ports) as the choice ends.
// - PortPolicy::Retry (tikvor-display): the first of COM1 to COM5 that opens, or only the one
//   asked for; without one it tries again every second. portFound and noPort report it, noPort
//   once.
// - Lost and found (LineSender): linkLost reports each change; the open window's caption then
//   says "(odpojeno)".
// - Frames ahead: the display turns over when a frame's last clock edge arrives, so the tick of
//   second S also hands over the frame of S + 1 (the next time and blink phase), to end on the
//   wall-clock instant of S + 1; the line thread starts it early by what frames take on the
//   port. The window still changes at the tick. A tick whose second was not sent ahead (the
//   first, one after a set clock or a stall, one without a port yet) also sends its own frame
//   at once. A set clock drops the frame sent ahead by the old time. An injected time of day
//   (LinkOptions::time) has no instant on the wall clock: its frames go at once, one per tick,
//   as they are built.
// - stop(status) is the one way out and never waits: no tick after it, stopping() at once (the
//   window hides), the frame on the line finished within a second or cut, the lines at rest, the
//   port released, then stopped(status) on the event loop's thread. Later calls change nothing.
// - A port mapped to "virtual" is an emulated display: virtualDisplay() is the one of the port in
//   use (null when that is a device, or none), valid until stopping(); portInUse(n) tells each
//   change of the port in use (0: none): after portChosen, before portFound.
// - wiring test (LinkOptions::wiringTest): instead of the time, each of the 48 bits alone for a
//   second, in the order they are shifted out (wiringStep tells which), then every segment lit
//   for a second; then wiringDone().
// - Frames of the front end (LinkOptions::frontEndFrames): the clock sends nothing; showFrame
//   clocks the given frame out whole on the line thread, between two tasks like a port choice,
//   then frameShown(whole) says whether every character reached the port. Nothing is reported
//   once the link is stopping.

#include "clock/clockengine.h"
#include "clock/secondtimer.h"
#include "port/linesender.h"
#include "port/portchoice.h"
#include "port/virtualdisplay.h"

#include <QObject>

#include <array>
#include <deque>
#include <memory>
#include <optional>

namespace tikvor {

enum class PortPolicy { Buttons, Retry };

struct LinkOptions {
    QString programFolder; // where Data.ini and data/ live
    PortPolicy policy = PortPolicy::Buttons;
    std::optional<int> onlyPort; // Retry: 1..5, only this port; empty: the scan
    bool wiringTest = false;
    SerialLines* lines = nullptr;     // nullptr: the real ports, mapped by Data.ini
    SecondTimer::WallClock wallClock; // empty: the system's real-time clock and alarm
    const TimeSource* time = nullptr; // nullptr: the second timer's own reading
    LineSender::Clock lineClock;      // empty: the line thread's steady clock
    bool frontEndFrames = false;      // showFrame instead of the time
};

class DisplayLink final : public QObject, private FrameSink {
    Q_OBJECT
public:
    explicit DisplayLink(LinkOptions options, QObject* parent = nullptr);
    ~DisplayLink() override;

    // Either may be null; set before start().
    void setFaces(CaptionFace* caption, PictureFace* pictures)
    {
        m_engine->setFaces(caption, pictures);
    }

    QString dataIniPath() const { return m_dataIniPath; }
    bool dataIniPresent() const;
    void start();
    // The handler of Option1..Option5 after the user selected button n.
    void clickOption(int n);
    void stop(int status = 0);
    // Only where the caller may wait (the session ending, the process exiting): true once the
    // line thread has finished.
    bool waitStopped(int timeoutMs);
    bool isStopping() const { return m_stopStatus.has_value(); }
    // stopped() has been emitted.
    bool isStopped() const { return m_stopped; }
    std::optional<int> stopStatus() const { return m_stopStatus; }

    // frontEndFrames: one frame of the front end, to the port in use.
    void showFrame(const QString& frame);

    // The tick (Timer1_Timer).
    void tick();
    // The caption of the open window as the tick sets it.
    void refreshCaption() { m_engine->refreshCaption(); }

    ClockState& state() { return m_state; }
    const ClockState& state() const { return m_state; }
    const CharacterTable& characterTable() const { return m_table; }
    SecondTimer& timer() { return *m_timer; }
    // For tests and benchmarks, which wait on it before they read the lines.
    LineSender* lineSender() { return m_sender.get(); }

    // The emulated display of the port frames go to; null when it is a device or none.
    VirtualDisplay* virtualDisplay() const;

    // The test frame for step k (1..48: bit k alone; 49: every segment lit) and what it shows.
    static QString wiringFrame(int step);
    static QString wiringText(int step);

signals:
    void portChosen(const tikvor::PortView& view);
    void portFound(int n);
    void noPort();
    void linkLost(int n, bool lost);
    void portInUse(int n);
    void wiringStep(const QString& text);
    void wiringDone();
    void frameShown(bool whole);
    void stopping();
    void stopped(int status);

private:
    void sendFrame(ClockState& state) override;
    void sendAhead(const ClockState& state, qint64 second);
    void clockStepped();
    qint64 wallNowUs() const;
    void choose(std::optional<int> click);
    void chosen(const PortView& view);
    void tryPorts();
    void portsTried(int opened);
    void wiringTick();
    void setPortInUse(int n);

    LinkOptions m_options;
    std::unique_ptr<SecondTimer> m_timer;
    std::unique_ptr<TimeSource> m_ownTime;
    ClockState m_state;
    CharacterTable m_table;
    QString m_dataIniPath;
    std::unique_ptr<ClockEngine> m_engine;
    std::unique_ptr<LineSender> m_sender;
    // The emulated displays, owned by the lines and fixed at start(); index 0 = COM1.
    std::array<VirtualDisplay*, PortCount> m_virtual{};
    const ComLines* m_comLines = nullptr; // the lines when they are real ports
    std::optional<qint64> m_aheadSecond;  // the wall-clock second whose frame is sent ahead

    PortView m_buttons;       // the buttons as the last choice left them
    bool m_choosing = false;  // a choice is on the line thread
    std::deque<int> m_clicks; // clicks waiting for it
    int m_port = 0;           // the port frames go to; 0: none (yet)
    bool m_saidNoPort = false;
    int m_wiringStep = 0;
    std::optional<int> m_stopStatus;
    bool m_stopped = false;
};

// For a process that ends without returning from main (the X connection lost: Qt's xcb plugin
// calls exit()): the frame on the line finished and the lines put at rest before the process
// goes, waiting at most a little over FinishLimitMs. One link at a time.
void finishLinesAtExit(DisplayLink* link);

} // namespace tikvor
