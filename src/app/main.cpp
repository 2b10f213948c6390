// Tikvor_1 and Tikvor_0: the same program; Tikvor_0's window has no taskbar button.
//
// Every end goes through the display link's stop(), which finishes the frame on the line, puts
// the lines at rest and releases the port before the event loop ends:
// - the window closed through the window manager, or destroyed from outside (Form1);
// - SIGTERM, SIGINT and SIGHUP on Unix (stopsignals);
// - the session ending: not at the question whether it may (commitDataRequest: the X11 session
//   manager's, WM_QUERYENDSESSION on Windows), which another program may still refuse, but when
//   it does. aboutToQuit catches whatever ends the loop and waits there, bounded, for the line.
//   On Windows Qt answers WM_ENDSESSION by emitting aboutToQuit itself and quitting, because
//   Windows ends the process as soon as the message is answered: the bounded wait inside
//   aboutToQuit is what lets the frame finish there; the hidden window of stopsignals hears it
//   too. On X11 the session manager ends its clients by SIGTERM or by closing the connection;
// - the X connection lost: Qt's xcb plugin calls exit(1) (Qt 6.4: "The X11 connection
//   broke"), so an exit hook finishes the frame, rests the lines and ends with status 0
//   (finishAtExit);
// - "ERROR 03" at start-up: Form_Load stops the link with status 3.

#include "console/consoletext.h"
#include "exithook.h"
#include "link/texts.h"
#include "startup/programfolder.h"
#include "stopsignals.h"
#include "ui/form1.h"

#include <QApplication>

#include <cstring>

int main(int argc, char* argv[])
{
    // Answered before anything needs a screen.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version")) {
            tikvor::writeLine(stdout,
                              QStringLiteral(TIKVOR_PROGRAM_NAME " " TIKVOR_PROGRAM_VERSION));
            return tikvor::outputStatus(stdout);
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tikvor"));
    // The program ends when its line is at rest, not when its last window is gone.
    QApplication::setQuitOnLastWindowClosed(false);

    tikvor::Form1Options options;
    options.programFolder = tikvor::programFolder();
    options.showInTaskbar = TIKVOR_SHOW_IN_TASKBAR;
    tikvor::Form1 form(options);
    tikvor::DisplayLink& link = form.link();

    // As tikvor-display says it: why a port's button is greyed, in English.
    QObject::connect(&link, &tikvor::DisplayLink::portRefused, &form,
                     [](int, const tikvor::PortRefusal& refusal) {
                         tikvor::writeLine(stderr, QStringLiteral("Tikvor: ") +
                                                       tikvor::describeRefusal(refusal));
                     });
    tikvor::onStopRequest([&link] { link.stop(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, [&link] {
        link.stop();
        link.waitStopped(tikvor::DisplayLink::StopLimitMs);
    });
    tikvor::finishAtExit([&link] {
        // Inside exit(): only the line side, which needs nothing of the window system.
        if (tikvor::LineSender* sender = link.lineSender()) {
            sender->finish();
            sender->waitFinished(tikvor::DisplayLink::StopLimitMs);
        }
        tikvor::flushLines(tikvor::FlushLimitMs);
        tikvor::stopFinished();
    });

    for (const QString& line : tikvor::repeatedSectionLines(link.dataIniPath()))
        tikvor::writeLine(stderr, QStringLiteral("Tikvor: ") + line);
    form.Form_Load(); // a refusal has stopped the link: the loop ends with its status
    // Closed while a start-up box was up: the end came inside the box's own loop.
    const int status = link.isStopped() ? *link.stopStatus() : app.exec();
    tikvor::finishAtExit({});
    tikvor::flushLines(tikvor::FlushLimitMs);
    tikvor::stopFinished();
    return status;
}
