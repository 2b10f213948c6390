// The two ways the core finds its port, without a thread: the window's button ring and the
// service's retry, against recording lines. The choice itself (the ring's hand-on) is
// tst_portselection's; here only what each policy does with it.

#include "link/portchooser.h"
#include "support/recordinglines.h"

#include <QTest>

#include <deque>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// Runs the line tasks when told to, as the line thread would between frames.
struct Host final : ChooserHost {
    RecordingLines lines;
    std::deque<LineTask> waiting;
    QList<std::pair<int, bool>> used; // (port, closed) in order
    void onLine(LineTask task) override { waiting.push_back(std::move(task)); }
    void usePort(int n, bool closed) override { used.append({n, closed}); }
    int readies = 0; // the clock starts at the first
    void ready() override { ++readies; }
    void runAll()
    {
        while (!waiting.empty()) {
            LineTask task = std::move(waiting.front());
            waiting.pop_front();
            task(lines)();
        }
    }
};

} // namespace

class TestPortChooser : public QObject {
    Q_OBJECT
private slots:
    void buttonRing_data()
    {
        QTest::addColumn<unsigned>("working");
        QTest::addColumn<QList<int>>("clicks"); // made while the start-up scan is on the line
        QTest::addColumn<QList<int>>("shownSelected");
        QTest::addColumn<int>("inUse");
        QTest::addColumn<bool>("closed");
        QTest::newRow("scan finds COM2") << 0b00010u << QList<int>{} << QList{2} << 2 << false;
        QTest::newRow("clicks wait their turn")
            << 0b11111u << QList{3, 5} << QList{1, 3, 5} << 5 << false;
        QTest::newRow("no port: clicks do nothing")
            << 0b00000u << QList{3} << QList{0} << 0 << true;
    }
    void buttonRing()
    {
        QFETCH(unsigned, working);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, shownSelected);
        QFETCH(int, inUse);
        QFETCH(bool, closed);
        Host host;
        host.lines.working = working;
        QList<int> shown;
        ButtonRing ring(host, [&](const PortView& view) { shown << view.selected; });
        ring.begin();
        for (int n : clicks)
            ring.click(n);
        QCOMPARE(host.waiting.size(), size_t(1)); // one choice on the line at a time
        QCOMPARE(host.readies, 0);                // no tick before the start-up scan is shown
        host.runAll();
        QVERIFY(host.readies > 0);
        while (!host.waiting.empty())
            host.runAll();
        QCOMPARE(shown, shownSelected);
        QCOMPARE(host.used.last(), std::make_pair(inUse, closed));
        // Each outcome is shown before the port follows it.
        QCOMPARE(host.used.size(), shown.size());
    }

    void retry_data()
    {
        QTest::addColumn<std::optional<int>>("only");
        QTest::addColumn<QStringList>("firstTry");
        QTest::newRow("the first that opens")
            << std::optional<int>() << QStringList{"COM1", "COM2", "COM3", "COM4", "COM5"};
        QTest::newRow("--port COM3") << std::optional<int>(3) << QStringList{"COM3"};
    }
    void retry()
    {
        QFETCH(std::optional<int>, only);
        QFETCH(QStringList, firstTry);
        Host host;
        host.lines.working = 0;
        int saidNoPort = 0;
        RetryChooser retry(host, only, [&] { ++saidNoPort; });
        retry.begin();
        QCOMPARE(host.readies, 1); // ticks while it tries: its frames wait for the port
        retry.second();            // a second while the try is on the line adds none
        host.runAll();
        QCOMPARE(host.lines.opens(), firstTry);
        retry.second();
        host.runAll();
        QCOMPARE(saidNoPort, 1); // said once, tried every second
        QCOMPARE(host.lines.opens().size(), 2 * firstTry.size());
        QVERIFY(host.used.isEmpty());
        host.lines.working = 0b00100;
        host.lines.clear();
        retry.second();
        host.runAll();
        QCOMPARE(host.used, (QList<std::pair<int, bool>>{{3, false}}));
        retry.second(); // found: lost-and-found is the line thread's from now on
        QVERIFY(host.waiting.empty());
    }
};

QTEST_GUILESS_MAIN(TestPortChooser)
#include "tst_portchooser.moc"
