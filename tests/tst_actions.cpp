// The options panel toggle and the information and help actions, clicked.

#include "support/formrig.h"

using namespace tikvor;
using namespace tikvor::test;

namespace {
const QString Url = QStringLiteral("url:http://www.krv-software.example");
}

class TestActions : public QObject {
    Q_OBJECT
private slots:
    void panelFoldsAndUnfolds()
    {
        Window w;
        QVERIFY(w.load());
        QCOMPARE(w.picture("Image8"), QString(":/pictures/image_button.gif"));
        const QList<int> heights{364, 120, 364};
        const QStringList pictures{"optionsOFF.gif", "optionsON.gif", "optionsOFF.gif"};
        for (int i = 0; i < heights.size(); ++i) {
            w.click("Image8");
            QCOMPARE(w.form.height(), heights[i]);
            QCOMPARE(w.form.minimumHeight(), heights[i]);
            QCOMPARE(w.picture("Image8"), w.folder.file("data/" + pictures[i]));
        }
        QVERIFY(w.desktop.events.isEmpty());
    }

    void panelPictureMissingAtTheClick()
    {
        Window w;
        QVERIFY(w.load());
        w.folder.remove("data/optionsOFF.gif");
        w.click("Image8");
        QCOMPARE(w.form.height(), 364); // the height changes first
        QCOMPARE(w.picture("Image8"), QString(":/pictures/image_button.gif"));
    }

    void webLabelsOpenTheAddress()
    {
        Window w;
        QVERIFY(w.load());
        w.click("Label11"); // on the clock face, reachable while folded
        w.click("Label11");
        w.click("Image8");
        w.click("Label7");
        QCOMPARE(w.desktop.events, (QStringList{Url, Url, Url}));
    }

    void helpThenTerminal_data()
    {
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("boxes");
        QTest::newRow("terminal starts") << true << 1;
        QTest::newRow("no terminal") << false << 2;
    }
    void helpThenTerminal()
    {
        QFETCH(bool, starts);
        QFETCH(int, boxes);
        Window w;
        QVERIFY(w.load());
        w.desktop.terminalStarts = starts;
        w.click("Image8");
        w.click("Label9");
        QCOMPARE(w.desktop.events.value(0),
                 QString::fromUtf8("box:Tikvor:iTyto tikvor se řídí časem systému Windows. "
                                   "Pokud chcete změnit čas, musíte zmněnit systémový čas. "
                                   "Zadejte příkaz \"TIME\" a potvrďte ENTERem"));
        QCOMPARE(w.desktop.events.value(1), QString("terminal"));
        QCOMPARE(w.desktop.titles().size(), boxes);
    }

    // A consent prompt may be up for long: the failure is told when the answer comes, not before.
    void terminalAnswersLater()
    {
        Window w;
        QVERIFY(w.load());
        w.desktop.terminalAnswersLater = true;
        w.click("Image8");
        w.click("Label9");
        QCOMPARE(w.desktop.titles().size(), 1);
        QVERIFY(w.desktop.terminalAnswer);
        w.desktop.terminalAnswer(false);
        QCOMPARE(w.desktop.titles().size(), 2);
    }
};

QTEST_MAIN(TestActions)
#include "tst_actions.moc"
