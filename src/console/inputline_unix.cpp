#include "inputline.h"

#include <cerrno>
#include <unistd.h>

namespace tikvor {

std::optional<InputLine> readInputLine()
{
    const std::optional<detail::LineBytes> line = detail::takeLine([](char& c) {
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n >= 0 || errno != EINTR)
                return n == 1;
        }
    });
    if (!line)
        return std::nullopt;
    return InputLine{QString::fromLocal8Bit(line->bytes), line->cut};
}

} // namespace tikvor
