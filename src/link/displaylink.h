#pragma once
// The display core both front ends share: Data.ini and the character table, ClockState, the
// second timer and the clock engine, the line thread, the port chooser and lost-and-found. The
// window (Form1) and tikvor-display only show what it reports. Qt Core only; it lives on the
// thread of the event loop, and every signal comes on that thread.
//
// Contract:
// - Construction reads and opens nothing. start() loads the table and makes the first port
//   choice on the line thread; the first tick and the timer follow when the chooser is ready.
// - The port in use is kept once: usePort sets it with PortCaption and PortClosed; portInUse(n)
//   tells each change (0: none). ButtonRing (the window) reports each choice by portChosen
//   first; RetryChooser (tikvor-display) reports noPort once while none opens.
// - Every tick sends the time's frame unless LinkOptions::sendsTime is off; sendFrameWhole sends
//   a front end's own frame whole, between two port choices, and frameSent(whole) says whether
//   every character reached the port.
// - Frames ahead: the tick of second S also hands over the frame of S + 1, the local time of
//   that instant with the next dots, to end on the wall-clock instant of S + 1 (the line thread
//   starts it early by what frames take on the port and holds its last edge for the instant);
//   a tick whose second was not sent ahead also hands over its own frame, which goes at once.
//   The line thread makes a frame afresh for a later second where one is too late for its own
//   (LineSender). A set clock drops the frames aimed by the old time. An injected time of day
//   has no wall-clock instant: its frames go at once, one per tick.
// - Refusals reach portRefused as data, each device and reason once.
// - stop(status) is the one way out and never waits: no tick after it, stopping() at once, the
//   frame on the line finished within a second or cut, the lines at rest, the port released,
//   then stopped(status), which comes after StopLimitMs all the same if the line thread is held
//   up in a device call. After stopping() nothing else is reported and no port is opened.
// - virtualDisplay() is the emulated display of the port in use (null for a device or none),
//   valid until stopping().

#include "clock/clockengine.h"
#include "clock/secondtimer.h"
#include "display/virtualdisplay.h"
#include "line/linesender.h"
#include "portchooser.h"

#include <QObject>

#include <array>
#include <memory>
#include <optional>

namespace tikvor {

enum class PortPolicy { Buttons, Retry };

// What tests and benchmarks put in place of the system.
struct LinkSeams {
    SerialLines* lines = nullptr;     // nullptr: the real ports, mapped by Data.ini
    SecondTimer::WallClock wallClock; // empty: the system's real-time clock and alarm
    const TimeSource* time = nullptr; // nullptr: the second timer's own reading
    LineSender::Clock lineClock;      // empty: the line thread's steady clock
};

struct LinkOptions {
    QString programFolder; // where Data.ini and data/ live
    PortPolicy ports = PortPolicy::Buttons;
    std::optional<int> onlyPort; // Retry: 1..5, only this port; empty: the first that opens
    bool sendsTime = true;       // false: the front end sends its own frames
    LinkSeams seams;
};

class DisplayLink final : public QObject, private FrameSink, private ChooserHost {
    Q_OBJECT
public:
    // The line thread finishes within a second; this much more is its grace.
    static constexpr int StopLimitMs = int(LineSender::FinishLimitMs) + 500;

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
    void sendFrameWhole(const QString& frame);
    void stop(int status = 0);
    // Only where the caller may wait (the session ending, the process exiting): true once the
    // line thread has finished.
    bool waitStopped(int timeoutMs);
    bool isStopping() const { return m_stopStatus.has_value(); }
    // stopped() has been emitted.
    bool isStopped() const { return m_stopped; }
    std::optional<int> stopStatus() const { return m_stopStatus; }

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
    // The port frames go to (0: none).
    int port() const { return m_port; }
    VirtualDisplay* virtualDisplay() const;

signals:
    void portChosen(const tikvor::PortView& view);
    void noPort();
    void portInUse(int n);
    void linkLost(int n, bool lost);
    void portRefused(int n, const tikvor::PortRefusal& refusal);
    void frameSent(bool whole);
    void stopping();
    void stopped(int status);

private:
    void sendFrame(ClockState& state) override;
    void onLine(LineTask task) override;
    void usePort(int n, bool closed) override;
    void ready() override;
    void sendAhead(qint64 second, int blink);
    void clockStepped();
    // The instant wall-clock second `second` begins, on the line clock.
    qint64 lineUsOf(qint64 second) const;
    qint64 wallNowUs() const;
    void reportStopped();

    LinkOptions m_options;
    std::unique_ptr<SecondTimer> m_timer;
    std::unique_ptr<TimeSource> m_ownTime;
    ClockState m_state;
    CharacterTable m_table;
    QString m_dataIniPath;
    std::unique_ptr<ClockEngine> m_engine;
    std::unique_ptr<PortChooser> m_chooser;
    std::unique_ptr<LineSender> m_sender;
    // The emulated displays, owned by the lines and fixed at start(); index 0 = COM1.
    std::array<VirtualDisplay*, PortCount> m_virtual{};
    std::optional<qint64> m_aheadSecond; // the wall-clock second whose frame is sent ahead
    int m_port = 0;                      // the port frames go to; 0: none (yet)
    std::optional<int> m_stopStatus;
    bool m_stopped = false;
    struct Mailbox;
    std::shared_ptr<Mailbox> m_mailbox;
};

} // namespace tikvor
