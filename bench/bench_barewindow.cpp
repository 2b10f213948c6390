// The yardstick for bench_memory: a bare Qt Widgets window of the clock's size, shown, with
// nothing in it.
//
// Usage: bench_barewindow [--text]
//   --text  puts one line of text in the window: tells how much of the clock's figure is what
//           drawing any text at all costs (font files, fontconfig, FreeType, HarfBuzz)
// Runs on QT_QPA_PLATFORM=offscreen unless QT_QPA_PLATFORM is set (xcb under xvfb-run).
// Given the same 500 ms as bench_memory to be exposed and painted, then prints its resident
// memory from /proc/self/status. Deliberately not linked against anything of the clock, so the
// figure is what Qt Widgets alone costs.

#include "procstatus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QThread>
#include <QWidget>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The clock's folded client size.
    QWidget window;
    window.setFixedSize(265, 120);
    if (argc > 1 && QByteArray(argv[1]) == "--text")
        (new QLabel(QStringLiteral("KRV Software"), &window))->move(8, 92);
    window.show();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    std::printf("platform %s, window %dx%d\n", qPrintable(QGuiApplication::platformName()),
                window.width(), window.height());
    std::printf("%-22s VmRSS %7ld kB  (anon %6ld, file %6ld, shmem %5ld)  VmHWM %7ld kB\n",
                "after start-up", statusKb("VmRSS"), statusKb("RssAnon"), statusKb("RssFile"),
                statusKb("RssShmem"), statusKb("VmHWM"));
    saveMappings();
    std::printf("RESULT program=bare platform=%s rss_start_kb=%ld\n",
                qPrintable(QGuiApplication::platformName()), statusKb("VmRSS"));
    return 0;
}
