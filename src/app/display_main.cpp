// tikvor-display: the display on a serial port driven without a window, for a machine with no
// screen. Reads Data.ini beside the program, as the windowed programs do.

#include "console/consoletext.h"
#include "console/displayconsole.h"
#include "console/inputline.h"
#include "console/virtualconsole.h"
#include "console/wireconsole.h"
#include "link/texts.h"
#include "startup/programfolder.h"
#include "stopsignals.h"
#include "version.h"

#include <QCoreApplication>

using namespace tikvor;

namespace {

const char Help[] =
    "Usage: tikvor-display [--port COMn] [--test | --wire] | --help | --version\n"
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
    "  --wire       finds how a newly built display is wired: it lights one character of\n"
    "               every digit's pattern at a time and asks on standard error which segment\n"
    "               lit (a to g, dp, or nothing: \"nothing\" or an empty line), reading one\n"
    "               answer a line from standard input. After the eighth answer it prints the\n"
    "               [Znaky] section for that wiring on standard output (status 0), to paste\n"
    "               into Data.ini in place of the old one; so 'tikvor-display --wire >\n"
    "               znaky.txt' shows the questions\n"
    "               and leaves just the section in the file. A segment that no character lit,\n"
    "               answers that end too early, or a lost port end it with the reason on\n"
    "               standard error and status 1. With --port, a port that does not open ends\n"
    "               it at once (status 1); without, it waits for one as below\n"
    "  --help       this text\n"
    "  --version    the program's name and version\n"
    "\n"
    "Apart from --wire --port, it never gives up: without a port, or when the port is lost,\n"
    "it tries again once a second, and says so once on standard error. SIGTERM, SIGINT\n"
    "(Ctrl+C) or SIGHUP (its terminal closing) lets the frame in progress finish, puts the\n"
    "lines at rest (DTR released, break off), releases the port and ends with status 0.";

// The lines written so far, out before the program ends, as far as their readers take them.
int ended(int status)
{
    flushLines(FlushLimitMs);
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    LinkOptions options;
    options.programFolder = programFolder();
    options.ports = PortPolicy::Retry;
    bool wire = false;
    bool wiringTest = false;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--help" || arg == u"-h") {
            writeLine(stdout, QString::fromLatin1(Help));
            return outputStatus(stdout);
        }
        if (arg == u"--version") {
            writeLine(stdout, QStringLiteral("tikvor-display ") +
                                  QString::fromLatin1(tikvor::version::FileVersion1));
            return outputStatus(stdout);
        }
        if (arg == u"--test") {
            wiringTest = true;
        } else if (arg == u"--wire") {
            wire = true;
        } else if (arg == u"--port" && i + 1 < args.size()) {
            const QString port = args[++i];
            bool ok = false;
            const int n = port.startsWith(u"COM", Qt::CaseInsensitive) ? port.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > PortCount) {
                writeLine(
                    stderr,
                    QStringLiteral("tikvor-display: --port takes COM1 to COM5, not %1").arg(port));
                return ended(2);
            }
            options.onlyPort = n;
        } else {
            writeLine(stderr,
                      QStringLiteral("tikvor-display: unknown argument %1 (see --help)").arg(arg));
            return ended(2);
        }
    }

    if (wire && wiringTest) {
        writeLine(stderr, QStringLiteral("tikvor-display: --test and --wire go one at a time"));
        return ended(2);
    }

    const LineOut error = [](const QString& text) { writeLine(stderr, text); };
    const LineOut output = [](const QString& text) { writeLine(stdout, text); };
    std::unique_ptr<DisplayConsole> console;
    std::unique_ptr<WireConsole> wiring;
    if (wire)
        wiring = std::make_unique<WireConsole>(options, readInputLine, error, output);
    else
        console = std::make_unique<DisplayConsole>(
            options, wiringTest ? DisplayConsole::Mode::WiringTest : DisplayConsole::Mode::Time,
            error, output);
    DisplayLink& link = wire ? wiring->link() : console->link();
    // A port mapped to "virtual": what its display shows. --wire keeps standard output for the
    // section and asks on standard error, so the display is drawn there, below each question
    // rather than over it.
    FILE* const shownOn = wire ? stderr : stdout;
    const TerminalKind terminal = terminalKind(shownOn);
    const VirtualConsole shown(link,
                               terminal == TerminalKind::None ? VirtualConsole::Style::Lines
                               : terminal == TerminalKind::Plain || wire
                                   ? VirtualConsole::Style::Drawing
                                   : VirtualConsole::Style::DrawingInPlace,
                               [shownOn](const QString& text) { writeLine(shownOn, text); });
    QObject::connect(&link, &DisplayLink::stopped, &app,
                     [](int status) { QCoreApplication::exit(status); });
    onStopRequest([&link] { link.stop(); });
    for (const QString& line : repeatedSectionLines(link.dataIniPath()))
        error(QStringLiteral("Tikvor: ") + line);
    if (wire)
        wiring->start();
    else
        console->start();
    const int status = ended(app.exec());
    stopFinished();
    return status;
}
