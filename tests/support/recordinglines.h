#pragma once
// Serial lines for tests: which ports open, every call recorded in order, and the one decoder
// that reads whole frames back from them. Safe to use from the line thread and the test's thread
// at once. Nothing real is opened.

#include "port/seriallines.h"

#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace tikvor::test {

// The calls, kept apart so that they can outlive lines handed over to their owner.
struct CallLog {
    mutable QMutex mutex;
    QStringList calls;
    QStringList snapshot() const
    {
        QMutexLocker lock(&mutex);
        return calls;
    }
};

class RecordingLines : public SerialLines {
public:
    std::atomic<unsigned> working = 0b00001; // bit n-1: COMn opens
    std::atomic<bool> unplugged = false;     // every open and line operation fails (recorded)
    std::atomic<int> inUse = 0;              // the port of the last open that succeeded
    std::atomic<int> openCalls = 0;
    // Line operations are counted from 1: failAt fails once, unplugFrom unplugs after its
    // operation, enterAt releases `entered` as it starts, blockAt waits there for `gate`.
    int failAt = 0, unplugFrom = 0, enterAt = 0, blockAt = 0, opDelayUs = 0;
    QSemaphore entered, gate;
    QSemaphore* openGate = nullptr; // each open waits for a release: a very slow adapter
    QSemaphore opening;             // released as each open starts, before openGate
    QSemaphore* lineGate = nullptr; // each line operation waits for a release
    std::function<void(RecordingLines&)> afterOpen; // after each open: ports that come and go
    std::atomic<bool>* deleted = nullptr;           // set when the lines are destroyed
    const std::shared_ptr<CallLog> log = std::make_shared<CallLog>();

    ~RecordingLines() override
    {
        if (deleted)
            *deleted = true;
    }

    int OpenPort(const QString& mode) override
    {
        opening.release();
        if (openGate)
            openGate->acquire();
        ++openCalls;
        const int n = mode.mid(3, 1).toInt();
        const bool ok = ((working >> (n - 1)) & 1u) && !unplugged;
        if (ok)
            inUse = n;
        record(QStringLiteral("O") + mode.left(4));
        if (afterOpen)
            afterOpen(*this);
        return ok ? n : 0;
    }
    bool DTR(int level) override { return operation(QStringLiteral("D%1").arg(level)); }
    bool TXD(int level) override { return operation(QStringLiteral("T%1").arg(level)); }

    // Every call since the last clear: "OCOM2", "D1", "T0", ...
    QStringList calls() const { return log->snapshot(); }
    // The ports opened, "COM1", ... in order.
    QStringList opens() const
    {
        QStringList out;
        for (const QString& call : calls())
            if (call.startsWith(u'O'))
                out << call.mid(1);
        return out;
    }
    // The line operations alone, as one text: "D1T0D0...".
    QString lineCalls() const
    {
        QString out;
        for (const QString& call : calls())
            if (!call.startsWith(u'O'))
                out += call;
        return out;
    }
    void clear()
    {
        QMutexLocker lock(&log->mutex);
        log->calls.clear();
    }
    // The whole frames sent since the last take (see decodeFrames), opens left out.
    QStringList takeFrames();
    // Line operations tried so far, for an enterAt counted from now.
    int operations() const { return m_operations; }

private:
    bool operation(const QString& call)
    {
        const int n = ++m_operations;
        if (n == enterAt)
            entered.release();
        if (n == blockAt)
            gate.acquire();
        if (lineGate)
            lineGate->acquire();
        if (opDelayUs > 0)
            QThread::usleep(static_cast<unsigned long>(opDelayUs));
        // Every attempt is recorded, as the device would see it tried.
        record(call);
        if (n == unplugFrom)
            unplugged = true;
        return n != failAt && !unplugged;
    }
    void record(const QString& call)
    {
        QMutexLocker lock(&log->mutex);
        log->calls << call;
    }
    std::atomic<int> m_operations = 0;
};

// Calls read as the display reads them: each whole frame as the text that was built (the last
// character goes first on the line), each open as its call ("OCOM2"); anything else as a token
// no test expects ("broken frame at ...", "open inside a frame", "unfinished frame").
inline QStringList decodeFrames(const QStringList& calls)
{
    QStringList out;
    QString bits;
    int phase = 0; // next call: 0 DTR up, 1 TXD, 2 DTR down
    for (const QString& call : calls) {
        if (call.startsWith(u'O')) {
            out << (phase == 0 && bits.isEmpty() ? call : QStringLiteral("open inside a frame"));
            continue;
        }
        if (phase == 1 ? !call.startsWith(u'T') : call != (phase == 0 ? u"D1" : u"D0"))
            return out << QStringLiteral("broken frame at ") + call;
        if (phase == 1)
            bits.prepend(call.mid(1));
        phase = (phase + 1) % 3;
        if (phase == 0 && bits.size() == 48)
            out << std::exchange(bits, {});
    }
    return bits.isEmpty() && phase == 0 ? out : out << QStringLiteral("unfinished frame");
}

// The same reading of a real line, from the line shim's trace (LINESHIM_TRACE: D/d DTR on/off,
// B/b break on/off): the bits as the display latches them, the data level when DTR falls, in the
// order they went out.
inline QString traceBits(const QByteArray& trace)
{
    QString bits;
    bool dtr = false;
    bool breakOn = false;
    for (char c : trace) {
        if (c == 'B' || c == 'b')
            breakOn = c == 'B';
        else if (c == 'D')
            dtr = true;
        else if (c == 'd') {
            if (dtr)
                bits += breakOn ? u'1' : u'0';
            dtr = false;
        }
    }
    return bits;
}

inline QStringList RecordingLines::takeFrames()
{
    QStringList frames;
    QMutexLocker lock(&log->mutex);
    for (const QString& item : decodeFrames(log->calls))
        if (!item.startsWith(u'O'))
            frames << item;
    log->calls.clear();
    return frames;
}

} // namespace tikvor::test
