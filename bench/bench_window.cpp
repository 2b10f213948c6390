// The real window on a slow line: when the new digits are painted after each second begins, and
// how long a click waits before its handler runs.
//
// Usage: bench_window [SECONDS] [--fast-line]
//   SECONDS      length of the run (default 30)
//   --fast-line  line operations take no time (default: 1 ms each, as on a USB adapter)
// Runs the window of Tikvor_1 (offscreen unless QT_QPA_PLATFORM says otherwise) against the real
// wall clock and its own tick timer, in a temporary program folder with the delivered pictures.
// The serial line is a stand-in that sleeps per operation; no device is opened. A click on the
// maker's label is posted every 97 ms; its latency is the time from posting to the handler.

#include "port/seriallines.h"
#include "ui/desktop.h"
#include "ui/form1.h"
#include "wallclock.h"
#include "windowbench.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace tikvor;
using tikvor::bench::report;

namespace {

class SlowLines : public SerialLines {
public:
    explicit SlowLines(bool slow) : m_slow(slow) {}
    int OpenPort(const QString& mode) override { return mode.startsWith("COM1,") ? 1 : 0; }
    bool DTR(int) override { return operation(); }
    bool TXD(int) override { return operation(); }

private:
    bool operation()
    {
        if (m_slow)
            QThread::usleep(1000);
        return true;
    }
    bool m_slow;
};

class ClickClock : public Desktop {
public:
    qint64 postedAt = 0;
    std::vector<double> latencyMs;
    void message(QWidget*, const QString&, const QString&, BoxIcon) override {}
    void openUrl(const QString&) override
    {
        if (postedAt)
            latencyMs.push_back((wallMicros() - postedAt) / 1000.0);
        postedAt = 0;
    }
    void startTerminal(QWidget*, std::function<void(bool)> done) override { done(true); }
};

// Notes when the seconds digit is painted with a new picture.
class PaintWatch : public QObject {
public:
    PictureBox* digit = nullptr;
    QString lastSource;
    std::vector<double> lagMs; // from the start of the second to the paint
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == digit && event->type() == QEvent::Paint && digit->source() != lastSource) {
            lastSource = digit->source();
            lagMs.push_back((wallMicros() % 1000000) / 1000.0);
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int seconds = 30;
    bool slow = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fast-line") == 0)
            slow = false;
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }

    QTemporaryDir folder;
    bench::fillProgramFolder(folder);

    SlowLines lines(slow);
    ClickClock desktop;
    Form1 form(Form1Options{folder.path(), nullptr, &desktop, &lines, true, {}});
    PaintWatch watch;
    watch.digit = form.findChild<PictureBox*>("Image6");
    watch.digit->installEventFilter(&watch);
    if (!form.Form_Load())
        return 1;
    watch.lastSource = watch.digit->source(); // the start-up picture belongs to no tick

    QWidget* label = form.findChild<QWidget*>("Label11");
    QTimer clicker;
    clicker.setInterval(97);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const QPointF at(10, 5);
        desktop.postedAt = wallMicros();
        QCoreApplication::postEvent(label, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                           label->mapToGlobal(at), Qt::LeftButton,
                                                           Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(label, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                           label->mapToGlobal(at), Qt::LeftButton,
                                                           Qt::NoButton, Qt::NoModifier));
    });
    clicker.start();
    LineSender::Stats stats;
    QTimer::singleShot(seconds * 1000, [&] {
        stats = form.lineSender()->stats(); // closing the window on the way out ends the thread
        app.quit();
    });
    app.exec();

    std::printf("bench_window: %d s, line %s, platform %s\n", seconds,
                slow ? "1 ms per operation" : "instant", qPrintable(app.platformName()));
    report("digits painted after the second", watch.lagMs);
    report("click to handler", desktop.latencyMs);
    std::printf("frames completed %llu, dropped %llu, cut short %llu\n",
                (unsigned long long)stats.completed, (unsigned long long)stats.dropped,
                (unsigned long long)stats.cutShort);
    return 0;
}
