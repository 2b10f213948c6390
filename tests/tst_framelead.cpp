// When the frame for a second leaves: the start rule over the spans the line thread recorded,
// each with the TXD changes of its frame.

#include "line/framelead.h"

#include <QTest>

using namespace tikvor;

namespace {
constexpr qint64 Ms = 1000;
constexpr qint64 End = 1'700'000'000LL * 1000 * Ms; // a second boundary, in microseconds
} // namespace

class tst_FrameLead : public QObject {
    Q_OBJECT
private slots:
    void start_data();
    void start();
};

void tst_FrameLead::start_data()
{
    QTest::addColumn<QList<qint64>>("spansMs"); // recorded in this order; -1: reset
    QTest::addColumn<QList<int>>("changes");    // of each span's frame; missing: 20
    QTest::addColumn<int>("frameChanges");      // of the frame that ends at End
    QTest::addColumn<qint64>("nowMs");          // the wall clock, relative to End
    QTest::addColumn<qint64>("startMs");        // when the frame ending at End starts

    const QList<qint64> steady(12, 128);
    QTest::newRow("no estimate yet: on the second")
        << QList<qint64>{128, 128} << QList<int>{} << 20 << -900LL << 0LL;
    QTest::newRow("steady line") << steady << QList<int>{} << 20 << -900LL << -128LL;
    QTest::newRow("one slow outlier")
        << (QList<qint64>(steady) << 900 << 127 << 129) << QList<int>{} << 20 << -900LL << -128LL;
    QTest::newRow("a port switch forgets")
        << (QList<qint64>(steady) << -1 << 30 << 30) << QList<int>{} << 20 << -900LL << 0LL;
    QTest::newRow("after the switch, the new port's own")
        << (QList<qint64>(steady) << -1 << 30 << 31 << 32) << QList<int>{} << 20 << -900LL << -31LL;
    QTest::newRow("old spans age out")
        << (QList<qint64>(steady) << QList<qint64>(FrameLead::Window, 5)) << QList<int>{} << 20
        << -900LL << -5LL;
    QTest::newRow("even count: between the middle two")
        << QList<qint64>{10, 20, 30, 40} << QList<int>{} << 20 << -900LL << -25LL;
    QTest::newRow("longer than a second: at once, back to back")
        << QList<qint64>(5, 1400) << QList<int>{} << 20 << -1000LL << -1000LL;
    // 5 ms a line change: 96 DTR changes, then 5 ms for each TXD change.
    const QList<qint64> byChanges{580, 600, 560, 620, 590, 570};
    const QList<int> changes{20, 24, 16, 28, 22, 18};
    QTest::newRow("more TXD changes: earlier") << byChanges << changes << 30 << -900LL << -630LL;
    QTest::newRow("fewer TXD changes: later") << byChanges << changes << 12 << -900LL << -540LL;
    QTest::newRow("one slow outlier among different frames")
        << (QList<qint64>(byChanges) << 900) << (QList<int>(changes) << 20) << 20 << -900LL
        << -580LL;
    QTest::newRow("handed over late: at once") << steady << QList<int>{} << 20 << -50LL << -50LL;
}

void tst_FrameLead::start()
{
    QFETCH(QList<qint64>, spansMs);
    QFETCH(QList<int>, changes);
    QFETCH(int, frameChanges);
    QFETCH(qint64, nowMs);
    QFETCH(qint64, startMs);
    FrameLead lead;
    for (qsizetype i = 0; i < spansMs.size(); ++i) {
        if (spansMs[i] < 0)
            lead.reset();
        else
            lead.record(spansMs[i] * Ms, changes.value(i, 20));
    }
    QCOMPARE(frameStart(End, lead.lead(frameChanges), End + nowMs * Ms), End + startMs * Ms);
}

QTEST_APPLESS_MAIN(tst_FrameLead)
#include "tst_framelead.moc"
