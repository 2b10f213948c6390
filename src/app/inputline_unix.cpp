#include "inputline.h"

#include <QByteArray>

#include <cerrno>
#include <unistd.h>

namespace tikvor {

std::optional<QString> readInputLine()
{
    // A byte at a time: a person types a few letters, and nothing of the next line is taken
    // from whoever reads standard input after us.
    QByteArray line;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (line.isEmpty())
                return std::nullopt;
            break;
        }
        if (c == '\n')
            break;
        line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

} // namespace tikvor
