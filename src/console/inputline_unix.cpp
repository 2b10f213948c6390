#include "inputline.h"

#include <cerrno>
#include <unistd.h>

namespace tikvor {

std::optional<QString> readInputLine()
{
    const std::optional<QByteArray> line = detail::takeLine([](char& c) {
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n >= 0 || errno != EINTR)
                return n == 1;
        }
    });
    if (!line)
        return std::nullopt;
    return QString::fromLocal8Bit(*line);
}

} // namespace tikvor
