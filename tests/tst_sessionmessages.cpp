// What the programs do with the session's end and a request to close, by Windows message.

#include "app/sessionmessages.h"

#include <QTest>

using namespace tikvor;
Q_DECLARE_METATYPE(tikvor::SessionAction)

class TestSessionMessages : public QObject {
    Q_OBJECT
private slots:
    void action_data()
    {
        QTest::addColumn<unsigned>("message");
        QTest::addColumn<quint64>("wParam");
        QTest::addColumn<SessionAction>("action");
        // The question alone ends nothing: another program may still cancel the end.
        QTest::newRow("may the session end")
            << MessageQueryEndSession << quint64(0) << SessionAction::AllowEnd;
        QTest::newRow("it ends") << MessageEndSession << quint64(1) << SessionAction::StopAndWait;
        QTest::newRow("the end was cancelled")
            << MessageEndSession << quint64(0) << SessionAction::Default;
        QTest::newRow("taskkill") << MessageClose << quint64(0) << SessionAction::Stop;
        QTest::newRow("a set clock") << 0x001Eu << quint64(0) << SessionAction::Default;
    }
    void action()
    {
        QFETCH(unsigned, message);
        QFETCH(quint64, wParam);
        QFETCH(SessionAction, action);
        QCOMPARE(sessionAction(message, std::uintptr_t(wParam)), action);
    }
};

QTEST_MAIN(TestSessionMessages)
#include "tst_sessionmessages.moc"
