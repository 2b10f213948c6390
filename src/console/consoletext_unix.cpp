#include "consoletext.h"
#include "consolewriter.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace tikvor {
namespace detail {

ConsoleTarget consoleTarget(std::FILE* stream)
{
    return {::fileno(stream), false};
}

std::string consoleBytes(const ConsoleTarget&, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::string line(bytes.constData(), size_t(bytes.size()));
    line += '\n';
    return line;
}

bool consoleWrite(const ConsoleTarget& target, const std::string& bytes)
{
    const int fd = int(target.handle);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Someone else made the file description non-blocking (a shared terminal or pipe):
            // this thread may wait, so it waits here rather than losing the line.
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                return false;
        } else if (n == 0 || errno != EINTR) {
            return false; // EPIPE, EBADF, EIO (a terminal hung up), ...
        }
    }
    return true;
}

void consoleWriterStarts()
{
    // Signals for the process go to its other threads; SIGPIPE from a write here stays pending
    // on this thread and the write fails with EPIPE, whatever the program does with SIGPIPE.
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

} // namespace detail

TerminalKind terminalKind(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) ? TerminalKind::Ansi : TerminalKind::None;
}

} // namespace tikvor
