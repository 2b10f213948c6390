// Console output that a reader blocks or abandons: writeLine's queue on its own, and
// tikvor-display writing into such a reader.

#include "console/consoletext.h"
#include "support/programfolder.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace tikvor;
using tikvor::test::ProgramCopy;

namespace {

// A pipe whose write end is a stdio stream for writeLine. That end is never closed: the writer
// may still be using it when the test is over.
struct TestPipe {
    int reader = -1;
    int writer = -1;
    std::FILE* stream = nullptr;

    TestPipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        ::fcntl(fds[1], F_SETPIPE_SZ, 4096);  // quick to fill
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK); // the read side only
        reader = fds[0];
        writer = fds[1];
        stream = ::fdopen(writer, "w");
    }
    ~TestPipe() { closeReader(); }

    void closeReader()
    {
        if (reader >= 0)
            ::close(reader);
        reader = -1;
    }
    QByteArray readAvailable() const
    {
        QByteArray all;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(reader, buffer, sizeof buffer)) > 0)
            all.append(buffer, n);
        return all;
    }
    // Fills what the pipe holds, so that the next write blocks.
    void fill() const
    {
        const int flags = ::fcntl(writer, F_GETFL);
        ::fcntl(writer, F_SETFL, flags | O_NONBLOCK);
        const QByteArray block(512, 'x');
        while (::write(writer, block.constData(), size_t(block.size())) > 0) {
        }
        ::fcntl(writer, F_SETFL, flags); // the program gets it blocking
    }
};

// The program's stop handler is in place (SigCgt in /proc), so SIGTERM asks it to stop.
bool answersStopRequests(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray status = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const qsizetype at = status.indexOf("SigCgt:");
    return at >= 0 &&
           (status.mid(at + 7, 18).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
}

QString numbered(int i)
{
    return QStringLiteral("%1 %2").arg(i, 5, 10, QChar(u'0')).arg(QString(60, u'x'));
}

} // namespace

class TestConsoleOut : public QObject {
    Q_OBJECT
private slots:
    void unreadPipeNeverWaits()
    {
        const TestPipe pipe;
        QVERIFY(pipe.stream);
        const int written = 4 * StreamLimit;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < written; ++i)
            writeLine(pipe.stream, numbered(i));
        QVERIFY2(clock.elapsed() < 500, QByteArray::number(clock.elapsed()));

        clock.restart();
        QVERIFY(!flushLines(200));
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));

        // Once read, what arrives is whole lines in their order, some left out.
        QByteArray got;
        const QDeadlineTimer deadline(10000);
        while (!flushLines(10) && !deadline.hasExpired())
            got += pipe.readAvailable();
        got += pipe.readAvailable();
        QVERIFY(got.endsWith('\n'));
        const QList<QByteArray> lines = got.chopped(1).split('\n');
        QVERIFY2(lines.size() < written, QByteArray::number(lines.size()));
        int last = -1;
        for (const QByteArray& line : lines) {
            const int i = line.left(5).toInt();
            QVERIFY2(i > last && line == numbered(i).toLatin1(), line.constData());
            last = i;
        }
    }

    void goneReaderEndsOnlyItsStream()
    {
        const TestPipe live;
        TestPipe gone;
        gone.closeReader();
        writeLine(live.stream, QStringLiteral("before"));
        // SIGPIPE is left as it comes in this process: a write that raised it would end the test.
        writeLine(gone.stream, QStringLiteral("nobody"));
        writeLine(live.stream, QStringLiteral("after"));
        QVERIFY(flushLines(FlushLimitMs));
        QCOMPARE(live.readAvailable(), QByteArray("before\nafter\n"));

        // The same descriptor leading to a reader again: that stream stays ended.
        const TestPipe again;
        QVERIFY(::dup3(again.writer, gone.writer, O_CLOEXEC) == gone.writer);
        writeLine(gone.stream, QStringLiteral("later"));
        QVERIFY(flushLines(FlushLimitMs));
        QCOMPARE(again.readAvailable(), QByteArray());
    }

    // The display is the product: it goes on whatever becomes of the lines it prints. Only a
    // failure that is no reader leaving is told, once, on standard error.
    void displayOutlivesItsReader_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<int>("told");
        QTest::newRow("a full pipe nobody reads") << "full pipe" << 0;
        QTest::newRow("the reader gone (SIGPIPE)") << "gone" << 0;
        QTest::newRow("a full disk") << "/dev/full" << 1;
    }
    void displayOutlivesItsReader()
    {
        QFETCH(QString, reader);
        QFETCH(int, told);
        const ProgramCopy copy(TIKVOR_DISPLAY, 1, QStringLiteral("virtual"));
        QVERIFY(copy.ok());
        TestPipe pipe;
        QVERIFY(pipe.stream);
        if (reader == "gone")
            pipe.closeReader();
        else if (reader == "full pipe")
            pipe.fill();
        const int err = pipe.writer;
        const int out = reader.startsWith(u'/') ? ::open(qPrintable(reader), O_WRONLY | O_CLOEXEC)
                                                : ::fcntl(err, F_DUPFD_CLOEXEC, 0);
        QVERIFY(out >= 0);
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setChildProcessModifier([out, err] {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
        });
        process.start(copy.program, {"--port", "COM1"});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(process.state() != QProcess::Running ||
                                     answersStopRequests(process.processId()),
                                 10000);
        // Its port said on standard error at once, then a frame and its line on standard output.
        process.waitForFinished(1200);
        QVERIFY2(process.state() == QProcess::Running,
                 qPrintable(QString("ended (crash %1, status %2)")
                                .arg(process.exitStatus() == QProcess::CrashExit)
                                .arg(process.exitCode())));
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(2500));
        ::close(out);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        if (pipe.reader >= 0)
            QCOMPARE(pipe.readAvailable().count("Tikvor: standard output: "), told);
    }
};

QTEST_GUILESS_MAIN(TestConsoleOut)
#include "tst_consoleout.moc"
