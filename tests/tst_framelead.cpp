// How long a frame takes, from the spans the line thread recorded, each with the TXD changes of
// its frame; and how long its last edge waits.

#include "line/framelead.h"

#include <QTest>

using namespace tikvor;

namespace {
constexpr qint64 Ms = 1000;
} // namespace

class tst_FrameLead : public QObject {
    Q_OBJECT
private slots:
    void lead_data();
    void lead();
    void pace_data();
    void pace();
};

void tst_FrameLead::lead_data()
{
    // Recorded in this order; -1: a reset, -N: a reset by an open that timed a change at N us.
    QTest::addColumn<QList<qint64>>("spansMs");
    QTest::addColumn<QList<int>>("changes"); // of each span's frame; missing: 20
    QTest::addColumn<int>("frameChanges");   // of the frame at hand
    QTest::addColumn<qint64>("leadMs");      // -1: none

    const QList<qint64> steady(12, 128);
    QTest::newRow("no frame yet: none") << QList<qint64>{} << QList<int>{} << 20 << -1LL;
    // 96 DTR changes and 20 TXD changes in 116 ms: 1 ms a change.
    QTest::newRow("one frame: its rate for more changes")
        << QList<qint64>{116} << QList<int>{} << 30 << 126LL;
    QTest::newRow("two frames: the faster rate")
        << QList<qint64>{200, 116} << QList<int>{} << 20 << 116LL;
    QTest::newRow("steady line") << steady << QList<int>{} << 20 << 128LL;
    QTest::newRow("one slow outlier")
        << (QList<qint64>(steady) << 900 << 127 << 129) << QList<int>{} << 20 << 128LL;
    QTest::newRow("a port switch: the old port's rate until a frame")
        << (QList<qint64>{116, 116, 116} << -1) << QList<int>{} << 30 << 126LL;
    QTest::newRow("an open that timed a line change: its rate")
        << QList<qint64>{300, 300, 300, -1000} << QList<int>{} << 30 << 126LL;
    QTest::newRow("after the switch, the new port's own")
        << (QList<qint64>(steady) << -1 << 30 << 31 << 32) << QList<int>{} << 20 << 31LL;
    QTest::newRow("old spans age out")
        << (QList<qint64>(steady) << QList<qint64>(FrameLead::Window, 5)) << QList<int>{} << 20
        << 5LL;
    QTest::newRow("even count: between the middle two")
        << QList<qint64>{10, 20, 30, 40} << QList<int>{} << 20 << 25LL;
    // 5 ms a line change: 96 DTR changes, then 5 ms for each TXD change.
    const QList<qint64> byChanges{580, 600, 560, 620, 590, 570};
    const QList<int> changes{20, 24, 16, 28, 22, 18};
    QTest::newRow("more TXD changes: longer") << byChanges << changes << 30 << 630LL;
    QTest::newRow("fewer TXD changes: shorter") << byChanges << changes << 12 << 540LL;
    QTest::newRow("one slow outlier among different frames")
        << (QList<qint64>(byChanges) << 900) << (QList<int>(changes) << 20) << 20 << 580LL;
}

void tst_FrameLead::lead()
{
    QFETCH(QList<qint64>, spansMs);
    QFETCH(QList<int>, changes);
    QFETCH(int, frameChanges);
    QFETCH(qint64, leadMs);
    FrameLead lead;
    for (qsizetype i = 0; i < spansMs.size(); ++i) {
        if (spansMs[i] < 0)
            lead.reset(spansMs[i] < -1 ? std::optional<qint64>(-spansMs[i]) : std::nullopt);
        else
            lead.record(spansMs[i] * Ms, changes.value(i, 20));
    }
    const std::optional<qint64> got = lead.lead(frameChanges);
    QCOMPARE(got.has_value(), leadMs >= 0);
    if (got)
        QCOMPARE(*got, leadMs * Ms);
}

void tst_FrameLead::pace_data()
{
    QTest::addColumn<int>("remaining");
    QTest::addColumn<qint64>("timeLeftUs");
    QTest::addColumn<qint64>("perChangeUs");
    QTest::addColumn<qint64>("waitUs");
    QTest::newRow("early: the slack") << 1 << 6000LL << 1000LL << 5000LL;
    QTest::newRow("early, several to go") << 4 << 6000LL << 1000LL << 2000LL;
    QTest::newRow("on time") << 3 << 3000LL << 1000LL << 0LL;
    QTest::newRow("late: no wait") << 1 << 500LL << 1000LL << 0LL;
    QTest::newRow("past the end: no wait") << 1 << -2000LL << 1000LL << 0LL;
}

void tst_FrameLead::pace()
{
    QFETCH(int, remaining);
    QFETCH(qint64, timeLeftUs);
    QFETCH(qint64, perChangeUs);
    QFETCH(qint64, waitUs);
    QCOMPARE(paceWaitUs(remaining, timeLeftUs, perChangeUs), waitUs);
}

QTEST_APPLESS_MAIN(tst_FrameLead)
#include "tst_framelead.moc"
