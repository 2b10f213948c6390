#include "consolewriter.h"
#include "consoletext.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tikvor {
namespace {

struct Stream {
    std::FILE* stream = nullptr;
    detail::ConsoleTarget target;
    int waiting = 0; // queued, the one being written included
    bool ended = false;
};

struct Line {
    Stream* stream;
    std::string bytes;
};

struct Writer {
    std::mutex mutex;
    std::condition_variable queued;
    std::condition_variable settled;
    // Only ever grows: the thread holds a Stream while it writes, without the lock.
    std::vector<std::unique_ptr<Stream>> streams;
    std::deque<Line> lines;
    bool writing = false;
    bool started = false;

    // With the lock held. False when the line is dropped.
    bool queue(Stream& s, const QString& text)
    {
        if (s.ended || s.waiting >= StreamLimit)
            return false;
        lines.push_back({&s, detail::consoleBytes(s.target, text)});
        ++s.waiting;
        return true;
    }

    Stream& streamFor(std::FILE* stream)
    {
        for (const auto& s : streams)
            if (s->stream == stream)
                return *s;
        auto s = std::make_unique<Stream>();
        s->stream = stream;
        s->target = detail::consoleTarget(stream);
        streams.push_back(std::move(s));
        return *streams.back();
    }

    void run()
    {
        detail::consoleWriterStarts();
        std::unique_lock lock(mutex);
        for (;;) {
            queued.wait(lock, [this] { return !lines.empty(); });
            Line line = std::move(lines.front());
            lines.pop_front();
            writing = true;
            lock.unlock();
            const detail::WriteOutcome outcome =
                detail::consoleWrite(line.stream->target, line.bytes);
            lock.lock();
            writing = false;
            --line.stream->waiting;
            if (outcome.kind != detail::WriteOutcome::Written) {
                Stream* const gone = line.stream;
                gone->ended = true;
                gone->waiting = 0;
                std::erase_if(lines, [gone](const Line& l) { return l.stream == gone; });
                // Once: the stream is ended from now on. Standard error cannot tell of itself.
                if (outcome.kind == detail::WriteOutcome::Failed && gone->stream != stderr) {
                    const QString name = gone->stream == stdout ? QStringLiteral("standard output")
                                                                : QStringLiteral("output");
                    queue(streamFor(stderr),
                          QStringLiteral("Tikvor: %1: %2").arg(name, outcome.why));
                }
            }
            if (lines.empty())
                settled.notify_all();
        }
    }
};

Writer& writer()
{
    // Never destroyed: the process may end while the thread is blocked in a write with it.
    static Writer* const w = new Writer;
    return *w;
}

} // namespace

void writeLine(std::FILE* stream, const QString& text)
{
    Writer& w = writer();
    std::lock_guard lock(w.mutex);
    if (!w.queue(w.streamFor(stream), text))
        return;
    if (!w.started) {
        try {
            // Detached: nothing may wait for a thread that a reader can block for ever.
            std::thread([&w] { w.run(); }).detach();
            w.started = true;
        } catch (const std::system_error&) {
            // No thread now: the line waits, and the next one tries again.
        }
    }
    w.queued.notify_one();
}

bool streamEnded(std::FILE* stream)
{
    Writer& w = writer();
    std::lock_guard lock(w.mutex);
    return std::any_of(w.streams.begin(), w.streams.end(),
                       [stream](const auto& s) { return s->stream == stream && s->ended; });
}

int outputStatus(std::FILE* stream)
{
    flushLines(FlushLimitMs);
    return streamEnded(stream) ? 1 : 0;
}

bool flushLines(int timeoutMs)
{
    Writer& w = writer();
    std::unique_lock lock(w.mutex);
    return w.settled.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                              [&w] { return w.lines.empty() && !w.writing; });
}

namespace detail {

std::vector<ConsolePiece> consolePieces(std::u16string_view text)
{
    std::vector<ConsolePiece> pieces;
    size_t start = 0; // of the text not yet given out
    size_t at = 0;
    while ((at = text.find(u'\x1b', at)) != std::u16string_view::npos) {
        size_t end = at + 1;
        if (end >= text.size() || text[end] != u'[') {
            ++at;
            continue;
        }
        ++end;
        int count = 0;
        bool digits = false;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9' && count < 10000) {
            count = count * 10 + (text[end] - u'0');
            digits = true;
            ++end;
        }
        if (end >= text.size() || (text[end] != u'A' && !(text[end] == u'K' && !digits))) {
            ++at;
            continue;
        }
        if (at > start)
            pieces.push_back({ConsolePiece::Text, text.substr(start, at - start), 0});
        if (text[end] == u'A')
            pieces.push_back({ConsolePiece::Up, {}, digits ? count : 1});
        else
            pieces.push_back({ConsolePiece::ClearToEnd, {}, 0});
        at = start = end + 1;
    }
    if (start < text.size())
        pieces.push_back({ConsolePiece::Text, text.substr(start), 0});
    return pieces;
}

} // namespace detail

} // namespace tikvor
