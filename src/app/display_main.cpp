// tikvor-display: the display on a serial port driven without a window, for a machine with no
// screen. Reads Data.ini beside the program, as the windowed programs do.

#include "consoletext.h"
#include "displayconsole.h"
#include "port/portselection.h"
#include "stopsignals.h"
#include "virtualconsole.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace tikvor;

namespace {

const char Help[] =
    "Usage: tikvor-display [--port COMn] [--test]\n"
    "Drives the six-digit display on a serial port without a window: once a second, on the\n"
    "second, it sends the frame the Tikvor window would send. Data.ini beside the program maps\n"
    "COM1 to COM5 to devices ([Porty]) and gives the digit patterns ([Znaky]). A port mapped to\n"
    "\"virtual\" (COM5=virtual) is an emulated display: what it shows goes to standard output,\n"
    "drawn in three lines on a terminal, else one line per frame (\"1.2.3.456\").\n"
    "\n"
    "  --port COMn  use only port COMn (1 to 5); without it the first of COM1 to COM5 that opens\n"
    "  --test       a wiring test instead of the time: each of the 48 bits alone for a second,\n"
    "               in the order they are shifted out, its number on standard output; then every\n"
    "               segment lit for a second; then it ends\n"
    "  --help       this text\n"
    "\n"
    "It never gives up: without a port, or when the port is lost, it tries again once a second,\n"
    "and says so once on standard error. SIGTERM, SIGINT (Ctrl+C) or SIGHUP (its terminal "
    "closing)\n"
    "lets the frame in progress finish, puts the lines at rest (DTR released, break off),\n"
    "releases the port and ends with status 0.\n";

void line(FILE* to, const QString& text)
{
    writeLine(to, text);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    LinkOptions options;
    options.programFolder = QCoreApplication::applicationDirPath();
    options.policy = PortPolicy::Retry;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--help" || arg == u"-h") {
            std::fputs(Help, stdout);
            return 0;
        }
        if (arg == u"--test") {
            options.wiringTest = true;
        } else if (arg == u"--port" && i + 1 < args.size()) {
            const QString port = args[++i];
            bool ok = false;
            const int n = port.startsWith(u"COM", Qt::CaseInsensitive) ? port.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > PortCount) {
                line(stderr,
                     QStringLiteral("tikvor-display: --port takes COM1 to COM5, not %1").arg(port));
                return 2;
            }
            options.onlyPort = n;
        } else {
            line(stderr,
                 QStringLiteral("tikvor-display: unknown argument %1 (see --help)").arg(arg));
            return 2;
        }
    }

    DisplayConsole console(
        options, [](const QString& text) { line(stderr, text); },
        [](const QString& text) { line(stdout, text); });
    DisplayLink& link = console.link();
    // A port mapped to "virtual": what its display shows, on standard output.
    const TerminalKind terminal = terminalKind(stdout);
    const VirtualConsole shown(link,
                               terminal == TerminalKind::None ? VirtualConsole::Style::Lines
                               : terminal == TerminalKind::Plain
                                   ? VirtualConsole::Style::Drawing
                                   : VirtualConsole::Style::DrawingInPlace,
                               [](const QString& text) { line(stdout, text); });
    QObject::connect(&link, &DisplayLink::stopped, &app,
                     [](int status) { QCoreApplication::exit(status); });
    onStopRequest([&link] { link.stop(); });
    console.start();
    const int status = app.exec();
    stopFinished();
    return status;
}
