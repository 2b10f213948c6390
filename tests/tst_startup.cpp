// The start of the program as a whole, and the data-file version query.

#include "startup/charactertable.h"
#include "support/formrig.h"

using namespace tikvor;
using namespace tikvor::test;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void startUp_data()
    {
        QTest::addColumn<QStringList>("remove");  // relative paths removed before the start
        QTest::addColumn<QStringList>("folders"); // relative paths made folders
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<bool>("runs");
        QTest::newRow("everything present")
            << QStringList{} << QStringList{} << QStringList{} << true;
        QTest::newRow("Data.ini missing")
            << QStringList{"Data.ini"} << QStringList{} << QStringList{"CHYBA 01"} << true;
        QTest::newRow("Data.ini is a folder") << QStringList{"Data.ini"} << QStringList{"Data.ini"}
                                              << QStringList{"CHYBA 01"} << true;
        QTest::newRow("first picture missing")
            << QStringList{"data/0.gif"} << QStringList{} << QStringList{"ERROR 03"} << false;
        QTest::newRow("last picture missing") << QStringList{"data/optionsOFF.gif"} << QStringList{}
                                              << QStringList{"ERROR 03"} << false;
        QTest::newRow("several missing") << QStringList{"data/5.gif", "data/s3.gif", "data/d1.gif"}
                                         << QStringList{} << QStringList{"ERROR 03"} << false;
        QTest::newRow("folder named 0.gif")
            << QStringList{"data/0.gif"} << QStringList{"data/0.gif"} << QStringList{"ERROR 03"}
            << false;
        QTest::newRow("data folder missing")
            << QStringList{"data"} << QStringList{} << QStringList{"ERROR 03"} << false;
        QTest::newRow("both missing") << QStringList{"Data.ini", "data/s9.gif"} << QStringList{}
                                      << QStringList{"CHYBA 01", "ERROR 03"} << false;
    }
    void startUp()
    {
        QFETCH(QStringList, remove);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, boxes);
        QFETCH(bool, runs);
        Window w;
        for (const QString& r : remove)
            w.folder.remove(r);
        for (const QString& f : folders)
            QVERIFY(QDir(w.folder.path()).mkpath(f));

        QCOMPARE(w.load(), runs);
        QCOMPARE(w.desktop.titles(), boxes);
        // A refused start ends through the link's stop, with status 3.
        QCOMPARE(w.form.link().stopStatus(), runs ? std::nullopt : std::optional<int>(3));
        QCOMPARE(w.lines.openCalls > 0, runs); // no port is touched by a refused start
        QCOMPARE(w.form.state().FrameBits.size(), runs ? 48 : 0);
        QCOMPARE(w.form.timer().isActive(), runs);
        QCOMPARE(w.form.dataIniPath(), w.folder.file("Data.ini"));
        if (runs && boxes.contains("CHYBA 01")) {
            for (const QString& entry : w.form.characterTable())
                QCOMPARE(entry, DefaultPattern);
        }
    }

    void boxTextsAreExact()
    {
        Window w;
        w.folder.remove("Data.ini");
        w.folder.remove("data/optionsON.gif");
        w.load();
        QCOMPARE(w.desktop.events.value(0),
                 QString::fromUtf8("box:CHYBA 01:!Nenalezen soubor Data.ini. Znaky nejsou k "
                                   "dispozici.\r\nDoporučuji přeinstalovat program, který si "
                                   "můžete stáhnout na http://www.krv-software.example"));
        QCOMPARE(w.desktop.events.value(1),
                 QString::fromUtf8("box:ERROR 03:!Program nelze spustit! Jeden, nebo více "
                                   "souborů ze složky Data nebylo nalezeno. Potíže odstraníte "
                                   "opětovnou instalací aplikace, kterou si lze stáhnout na "
                                   "HTTP://WWW.KRV-SOFTWARE.EXAMPLE"));
        QCOMPARE(w.desktop.events.size(), 2);
    }

    void noPortAtStartUp()
    {
        Window w;
        w.lines.working = 0;
        QString labelDuringBox, captionDuringBox, digitDuringBox;
        bool tickingDuringBox = true;
        w.desktop.duringBox = [&] {
            labelDuringBox = w.text("Label3");
            captionDuringBox = w.form.windowTitle();
            digitDuringBox = w.picture("Image1");
            tickingDuringBox = w.form.timer().isActive();
        };
        QVERIFY(w.load());
        // The box first; Label3 and the caption name no port only once it is answered, and the
        // clock starts only then: no tick while it is open, the built-in pictures still shown.
        QCOMPARE(labelDuringBox, QString("COM1"));
        QCOMPARE(captionDuringBox, QString("Tikvor - COM0"));
        QVERIFY(digitDuringBox.startsWith(":/"));
        QVERIFY(!tickingDuringBox);
        QVERIFY(w.form.timer().isActive());
        QVERIFY(!w.picture("Image1").startsWith(":/"));
        QCOMPARE(w.desktop.titles(), QStringList{"CHYBA 02"});
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM0"));
        QCOMPARE(w.text("Label3"), QString("COM0"));
        QCOMPARE(w.lines.openCalls.load(), 5);
        for (int n = 1; n <= 5; ++n) {
            auto* o = w.control<QRadioButton>(qPrintable(QString("Option%1").arg(n)));
            QVERIFY(!o->isEnabled());
            QVERIFY(!o->isChecked());
        }
        w.form.Timer1_Timer();
        QVERIFY(w.sentLines().isEmpty()); // built and shown, never sent
        QCOMPARE(w.form.state().FrameBits.size(), 48);
    }

    void versionQuery_data()
    {
        QTest::addColumn<QByteArray>("ini"); // "-": no file at the click
        QTest::addColumn<QString>("event");
        const QString box = QString::fromUtf8("box:Verze Dat. souboru:i");
        QTest::newRow("version") << QByteArray("[Init]\r\nKRVVerze=1.05\r\n") << box + "1.05";
        QTest::newRow("nine characters whole")
            << QByteArray("[Init]\nKRVVerze=123456789\n") << box + "123456789";
        QTest::newRow("ten characters cut")
            << QByteArray("[Init]\nKRVVerze=1234567890ab\n") << box + "123456789";
        QTest::newRow("empty value") << QByteArray("[Init]\nKRVVerze=\n") << box;
        QTest::newRow("no section") << QByteArray("[Znaky]\n0=1\n") << box + "CHYBA";
        QTest::newRow("no key") << QByteArray("[Init]\nVerze=2\n") << box + "CHYBA";
        QTest::newRow("file gone") << QByteArray("-") << QString("box:CHYBA 01:!");
    }
    void versionQuery()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, event);
        Window w;
        QVERIFY(w.load());
        if (ini == "-")
            w.folder.remove("Data.ini");
        else
            w.folder.write("Data.ini", ini);
        w.form.setFixedSize(Form1::UnfoldedSize);
        w.click("Label10");
        QCOMPARE(w.desktop.events.size(), 1);
        QVERIFY2(w.desktop.events[0].startsWith(event), qPrintable(w.desktop.events[0]));
        if (!event.contains("CHYBA 01"))
            QCOMPARE(w.desktop.events[0], event);
    }

    void versionFollowsTheFileBetweenClicks()
    {
        Window w;
        w.folder.remove("Data.ini");
        QVERIFY(w.load());
        w.form.setFixedSize(Form1::UnfoldedSize);
        w.folder.write("Data.ini", "[Init]\nKRVVerze=2.00\n[Znaky]\n0=11111111\n");
        w.click("Label10");
        w.folder.remove("Data.ini");
        w.click("Label10");
        QCOMPARE(w.desktop.titles(), (QStringList{"CHYBA 01", "Verze Dat. souboru", "CHYBA 01"}));
        QCOMPARE(w.desktop.events[1], QString("box:Verze Dat. souboru:i2.00"));
        // The patterns stay those loaded at start-up.
        QCOMPARE(w.form.characterTable()[0], DefaultPattern);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
