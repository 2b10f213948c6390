// The tooltip of a greyed port button: every reason says its own thing and carries what the
// user needs to act on it.

#include "ui/refusaltooltip.h"

#include <QSet>
#include <QTest>

using namespace tikvor;
using Reason = PortRefusal::Reason;

Q_DECLARE_METATYPE(PortRefusal)

namespace {
PortRefusal refusal(Reason reason)
{
    PortRefusal r;
    r.reason = reason;
    r.device = QStringLiteral("/dev/ttyUSB3");
    return r;
}
} // namespace

class TestRefusalTooltip : public QObject {
    Q_OBJECT
private slots:
    void namesWhatTheUserCanActOn_data()
    {
        QTest::addColumn<PortRefusal>("why");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("missing") << refusal(Reason::Missing) << QStringList{};
        PortRefusal busy = refusal(Reason::Busy);
        busy.holderPid = 4711;
        busy.lockFile = "/run/lock/LCK..ttyUSB3";
        QTest::newRow("busy") << busy << QStringList{"4711"};
        PortRefusal denied = refusal(Reason::PermissionDenied);
        denied.group = "dialout";
        QTest::newRow("permission") << denied << QStringList{"dialout"};
        PortRefusal ownerOnly = refusal(Reason::PermissionDenied);
        ownerOnly.owner = "root";
        QTest::newRow("permission for the owner alone") << ownerOnly << QStringList{"root", "udev"};
        PortRefusal policy = refusal(Reason::PermissionDenied);
        policy.byPolicy = true;
        QTest::newRow("permission by a rule of the system") << policy << QStringList{"pravidlo"};
        QTest::newRow("not a serial line") << refusal(Reason::NotSerialLine) << QStringList{};
        QTest::newRow("no modem lines") << refusal(Reason::NoModemLines) << QStringList{"DTR"};
        PortRefusal fake = refusal(Reason::FakesBreak);
        fake.breakMs = 37.4;
        QTest::newRow("fakes break") << fake << QStringList{"37,4", "ms"};
        QTest::newRow("system console") << refusal(Reason::SystemConsole) << QStringList{};
        PortRefusal failed = refusal(Reason::Failed);
        failed.systemMessage = "Input/output error";
        QTest::newRow("failed") << failed << QStringList{"Input/output error"};
    }
    void namesWhatTheUserCanActOn()
    {
        QFETCH(PortRefusal, why);
        QFETCH(QStringList, parts);
        const QString text = refusalTooltip(why);
        for (const QString& part : parts << why.device)
            QVERIFY2(text.contains(part), qPrintable(text));
    }

    void everyReasonSaysItsOwnThing()
    {
        QSet<QString> texts;
        for (int r = int(Reason::Missing); r <= int(Reason::Failed); ++r)
            texts << refusalTooltip(refusal(Reason(r)));
        QCOMPARE(texts.size(), int(Reason::Failed) + 1);
    }
};

QTEST_GUILESS_MAIN(TestRefusalTooltip)
#include "tst_refusaltooltip.moc"
