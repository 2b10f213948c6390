#pragma once
// The display driven without a window: the clock engine and the line thread on their own, for a
// machine with no screen (tikvor-display, run as a service).
//
// Contract:
// - start() reads Data.ini from the program folder (as the window does: a missing file is
//   reported as "CHYBA 01: ..." and the defaults apply), chooses the port as the start-up scan
//   does (COM1 to COM5, the first that opens; or only the port asked for) and sends, once a
//   second on the second, the frame the window would send: the same patterns, the same dot bits
//   alternating. No picture is read.
// - It never gives up: while no port is open it tries again once a second, and a lost port is
//   opened again by the line thread (LineSender). Each change is reported once on the error
//   channel: no port, a port lost, frames flowing (again).
// - wiring test (WiringTest): instead of the time, each of the 48 bits alone for a second, in the
//   order they are shifted out, its number and meaning on the output channel, then every
//   segment lit for a second; then finished() is emitted.
// - stop() lets the frame in progress finish, drops the rest and puts the lines at rest (DTR
//   released, break off). The destructor stops.

#include "clock/clockengine.h"
#include "clock/secondtimer.h"
#include "port/linesender.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace tikvor {

struct DisplayOptions {
    QString programFolder;
    std::optional<int> port;                   // 1..5: only this port; empty: the scan
    bool wiringTest = false;
    SerialLines* lines = nullptr;              // nullptr: the real ports, mapped by Data.ini
    SecondTimer::WallClock clock;              // empty: the system's real-time clock
    LineSender::Clock lineClock;               // empty: the line thread's steady clock
    std::function<void(const QString&)> error; // a line of the error channel
    std::function<void(const QString&)> output; // a line of the output channel
};

class DisplayService final : public QObject, private ClockFace, private FrameSink {
    Q_OBJECT
public:
    explicit DisplayService(DisplayOptions options, QObject* parent = nullptr);
    ~DisplayService() override;

    void start();
    void stop();

    SecondTimer& timer() { return *m_timer; }
    LineSender* lineSender() { return m_sender.get(); }
    const ClockState& state() const { return m_state; }

    // The test frame for step k (1..48: bit k alone; 49: every segment lit) and what it shows.
    static QString wiringFrame(int step);
    static QString wiringText(int step);

signals:
    void finished();

private:
    void Timer1_Timer();
    void tryPorts();
    void portsTried(int opened);
    void linkChanged(bool lost);
    void send(const QString& frame);

    // ClockFace: nothing to show without a window.
    bool isMinimised() const override { return false; }
    void setCaption(const QString&) override {}
    void showPicture(int, const QString&) override {}
    void moveMarker(int) override {}
    void showFrame(const QString&) override {}
    // FrameSink
    void sendFrame(ClockState& state) override { send(state.FrameBits); }

    DisplayOptions m_options;
    std::unique_ptr<SecondTimer> m_timer;
    std::unique_ptr<TimeSource> m_time;
    ClockState m_state;
    CharacterTable m_table;
    std::unique_ptr<ClockEngine> m_engine;
    std::unique_ptr<SerialLines> m_ownLines;
    SerialLines* m_lines = nullptr;
    std::unique_ptr<LineSender> m_sender;

    int m_port = 0;             // the port frames go to; 0: none yet
    bool m_trying = false;      // a try of the ports is on the line thread
    bool m_saidNoPort = false;
    int m_wiringStep = 0;
};

} // namespace tikvor
