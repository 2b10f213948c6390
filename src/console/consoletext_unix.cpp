#include "consoletext.h"
#include "consolewriter.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
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

WriteOutcome consoleWrite(const ConsoleTarget& target, const std::string& bytes)
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
                return {WriteOutcome::Failed, qt_error_string(errno)};
        } else if (n == 0 || errno == EPIPE || errno == EIO) {
            return {WriteOutcome::ReaderGone, {}}; // EIO: a terminal hung up
        } else if (errno != EINTR) {
            return {WriteOutcome::Failed, qt_error_string(errno)}; // ENOSPC, EBADF, ...
        }
    }
    return {};
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

int terminalColumns(std::FILE* stream)
{
    winsize size{};
    return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void onTerminalResize(QObject* context, std::function<void()> resized)
{
    // The handler may only write a byte to a pipe; the pipe is the process's for good, since a
    // signal may come at any time.
    static int wake[2] = {-1, -1};
    if (wake[0] < 0) {
        if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = [](int) {
            const int saved = errno;
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
            errno = saved;
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGWINCH, &action, nullptr);
    }
    auto* notifier = new QSocketNotifier(wake[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [resized = std::move(resized)] {
                         char bytes[64];
                         while (::read(wake[0], bytes, sizeof bytes) > 0) {
                         }
                         resized();
                     });
}

} // namespace tikvor
