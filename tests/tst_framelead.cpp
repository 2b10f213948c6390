// When the frame for a second leaves: the start rule over the spans the line thread recorded.

#include "clock/framelead.h"

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
    QTest::addColumn<qint64>("nowMs");          // the wall clock, relative to End
    QTest::addColumn<qint64>("startMs");        // when the frame ending at End starts

    const QList<qint64> steady(12, 128);
    QTest::newRow("no estimate yet: on the second") << QList<qint64>{128, 128} << -900LL << 0LL;
    QTest::newRow("steady line") << steady << -900LL << -128LL;
    QTest::newRow("one slow outlier")
        << (QList<qint64>(steady) << 900 << 127 << 129) << -900LL << -128LL;
    QTest::newRow("a port switch forgets")
        << (QList<qint64>(steady) << -1 << 30 << 30) << -900LL << 0LL;
    QTest::newRow("after the switch, the new port's own")
        << (QList<qint64>(steady) << -1 << 30 << 31 << 32) << -900LL << -31LL;
    QTest::newRow("old spans age out")
        << (QList<qint64>(steady) << QList<qint64>(FrameLead::Window, 5)) << -900LL << -5LL;
    QTest::newRow("even count: between the middle two")
        << QList<qint64>{10, 20, 30, 40} << -900LL << -25LL;
    QTest::newRow("longer than a second: at once, back to back")
        << QList<qint64>(5, 1400) << -1000LL << -1000LL;
    QTest::newRow("handed over late: at once") << steady << -50LL << -50LL;
}

void tst_FrameLead::start()
{
    QFETCH(QList<qint64>, spansMs);
    QFETCH(qint64, nowMs);
    QFETCH(qint64, startMs);
    FrameLead lead;
    for (qint64 span : spansMs) {
        if (span < 0)
            lead.reset();
        else
            lead.record(span * Ms);
    }
    QCOMPARE(frameStart(End, lead.lead(), End + nowMs * Ms), End + startMs * Ms);
}

QTEST_APPLESS_MAIN(tst_FrameLead)
#include "tst_framelead.moc"
