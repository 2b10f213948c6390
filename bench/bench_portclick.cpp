// The window on a slow adapter: how long a click on a port button and on the panel button waits
// before the window is free again, and how soon frames are back on a port that was pulled out
// and put back.
//
// Usage: bench_portclick [--op-ms MS] [--seconds N] [--replugs K]
//   --op-ms MS    every line operation takes MS milliseconds (default 1; a bad adapter: 200);
//                 opening a port that is there costs six of them, one that is not costs none
//   --seconds N   how long clicks go on (default 20)
//   --replugs K   pull the adapter out and put it back K times afterwards (default 10; 0 skips)
// The real window of Tikvor_1 (offscreen unless QT_QPA_PLATFORM says otherwise) against the real
// clock, in a temporary program folder with the delivered pictures. COM1 and COM2 are there,
// COM3 to COM5 are not. No device is opened: the line is a stand-in that sleeps.

#include "port/seriallines.h"
#include "ui/desktop.h"
#include "ui/form1.h"
#include "wallclock.h"
#include "windowbench.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace tikvor;
using tikvor::bench::report;

namespace {

class SlowLines : public SerialLines {
public:
    explicit SlowLines(int opMs) : m_opMs(opMs) {}
    std::atomic<bool> plugged = true;
    std::atomic<qint64> pluggedAt = 0;    // wall µs of the last plug-in
    std::atomic<qint64> firstFrameAt = 0; // wall µs of the first operation after it
    int OpenPort(const QString& mode) override
    {
        const bool there = mode.startsWith("COM1,") || mode.startsWith("COM2,");
        if (!there || !plugged)
            return 0;
        for (int i = 0; i < 6; ++i)
            QThread::msleep(static_cast<unsigned long>(m_opMs));
        return mode.mid(3, 1).toInt();
    }
    bool DTR(int) override { return operation(); }
    bool TXD(int) override { return operation(); }

private:
    bool operation()
    {
        if (!plugged)
            return false;
        QThread::msleep(static_cast<unsigned long>(m_opMs));
        if (pluggedAt && !firstFrameAt)
            firstFrameAt = wallMicros();
        return true;
    }
    int m_opMs;
};

class QuietDesktop : public Desktop {
public:
    void message(QWidget*, const QString&, const QString&, BoxIcon) override {}
    void openUrl(const QString&) override {}
    void startTerminal(QWidget*, std::function<void(bool)> done) override { done(true); }
};

// A click posted to a control, and a probe posted right behind it: when the probe runs, the
// window has handled the click and is free again.
class ClickTimer : public QObject {
public:
    std::vector<double>* sink = nullptr;
    qint64 postedAt = 0;
    void click(QWidget* target, QPoint at, std::vector<double>& into)
    {
        sink = &into;
        postedAt = wallMicros();
        const QPointF p(at);
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, p,
                                                            target->mapToGlobal(p), Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, p,
                                                            target->mapToGlobal(p), Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        sink->push_back((wallMicros() - postedAt) / 1000.0);
        return true;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int opMs = 1, seconds = 20, replugs = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(0, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--op-ms") == 0)
            opMs = value;
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, value);
        else if (std::strcmp(argv[i], "--replugs") == 0)
            replugs = value;
    }

    QTemporaryDir folder;
    bench::fillProgramFolder(folder);

    SlowLines lines(opMs);
    QuietDesktop desktop;
    Form1 form(Form1Options{folder.path(), nullptr, &desktop, &lines, true, {}});
    if (!form.Form_Load())
        return 1;
    QWidget* panelButton = form.findChild<QWidget*>("Image8");
    QRadioButton* ports[2] = {form.findChild<QRadioButton*>("Option1"),
                              form.findChild<QRadioButton*>("Option2")};

    LineSender::Stats stats;
    const auto finish = [&] {
        stats = form.lineSender()->stats(); // closing the window on the way out ends the thread
        app.quit();
    };
    ClickTimer timer;
    std::vector<double> portClicks, panelClicks, returns;
    int round = 0;
    QTimer clicker;
    clicker.setInterval(487); // not in step with the seconds
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        ++round;
        if (round % 2) {
            timer.click(panelButton, {50, 10}, panelClicks);
        } else if (form.height() > Form1::FoldedSize.height()) {
            QRadioButton* target = ports[(round / 2) % 2];
            timer.click(target, {6, target->height() / 2}, portClicks);
        }
    });
    clicker.start();
    QTimer::singleShot(seconds * 1000, &clicker, &QTimer::stop);

    // Afterwards: pull the adapter out for 2.3 s, put it back, and wait for the first frame.
    int replugged = 0;
    QTimer replug;
    replug.setInterval(100);
    qint64 pulledAt = 0;
    QObject::connect(&replug, &QTimer::timeout, [&] {
        const qint64 now = wallMicros();
        if (lines.plugged && lines.pluggedAt == 0) {
            lines.plugged = false;
            pulledAt = now;
        } else if (!lines.plugged && now - pulledAt > 2300000) {
            lines.firstFrameAt = 0;
            lines.pluggedAt = now;
            lines.plugged = true;
        } else if (lines.pluggedAt && lines.firstFrameAt) {
            returns.push_back((lines.firstFrameAt - lines.pluggedAt) / 1000.0);
            lines.pluggedAt = 0;
            if (++replugged >= replugs)
                finish();
        }
    });
    QTimer::singleShot(seconds * 1000 + 1500, [&] {
        if (replugs == 0)
            finish();
        else
            replug.start();
    });
    app.exec();

    std::printf("bench_portclick: %d ms per operation, %d s of clicks, platform %s\n", opMs,
                seconds, qPrintable(app.platformName()));
    report("port button click: window free again", portClicks);
    report("panel button click: window free again", panelClicks);
    report("adapter back: first frame on it", returns);
    std::printf("frames completed %llu, dropped %llu, cut short %llu, reopened %llu\n",
                (unsigned long long)stats.completed, (unsigned long long)stats.dropped,
                (unsigned long long)stats.cutShort, (unsigned long long)stats.reopened);
    return 0;
}
