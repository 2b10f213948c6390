#include "consoletext.h"

#include <unistd.h>

namespace tikvor {

void writeLine(std::FILE* stream, const QString& text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

TerminalKind terminalKind(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) ? TerminalKind::Ansi : TerminalKind::None;
}

} // namespace tikvor
