// Loading the digit patterns from Data.ini.

#include "startup/charactertable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tikvor;

class TestCharacterTable : public QObject {
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("ini");       // empty: no file at all
        QTest::addColumn<QStringList>("expected"); // entries 0..9; "*" = the default
        const QStringList allDefault(10, "*");
        auto with = [&](int d, const QString& v) {
            QStringList l = allDefault;
            l[d] = v;
            return l;
        };
        QTest::newRow("no file") << QByteArray() << allDefault;
        QTest::newRow("no section") << QByteArray("[Init]\nKRVVerze=1\n") << allDefault;
        QTest::newRow("exactly eight")
            << QByteArray("[Znaky]\n3=11110010\n") << with(3, "11110010");
        QTest::newRow("nine or more are cut")
            << QByteArray("[Znaky]\n3=111100101111\n") << with(3, "11110010");
        QTest::newRow("blanks around key and value")
            << QByteArray("[Znaky]\n  3 \t=  11110010\t \n") << with(3, "11110010");
        QTest::newRow("double quotes")
            << QByteArray("[Znaky]\n3=\"11110010\"\n") << with(3, "11110010");
        QTest::newRow("section in capitals")
            << QByteArray("[ZNAKY]\n3=11110010\n") << with(3, "11110010");
        QTest::newRow("section in small letters")
            << QByteArray("[znaky]\n3=11110010\n") << with(3, "11110010");
        QTest::newRow("empty value is padded")
            << QByteArray("[Znaky]\n5=\n") << with(5, "00000000");
        QTest::newRow("short value is padded")
            << QByteArray("[Znaky]\n5=101\n") << with(5, "10100000");
        QTest::newRow("other characters kept")
            << QByteArray("[Znaky]\n5=1x2y3z4w\n") << with(5, "1x2y3z4w");
        QTest::newRow("CR-only lines") << QByteArray("[Znaky]\r3=11110010\r4=01100110\r") << [&] {
            QStringList l = with(3, "11110010");
            l[4] = "01100110";
            return l;
        }();
        QTest::newRow("binary garbage")
            << QByteArray("\x00\xff\xfe[\x01=\x02\n\x80", 10) << allDefault;
        QByteArray all = "[Znaky]\n";
        QStringList allValues;
        for (int d = 0; d < 10; ++d) {
            const QString v = QString::number(d, 2).rightJustified(8, u'0');
            all += QByteArray::number(d) + "=" + v.toLatin1() + "\n";
            allValues << v;
        }
        QTest::newRow("all ten keys") << all << allValues;
    }
    void load()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("Data.ini");
        if (!ini.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        const CharacterTable table = LoadCharacterTable(path);
        for (int d = 0; d < 10; ++d) {
            const QString want = expected[d] == "*" ? DefaultPattern : expected[d];
            QCOMPARE(table[static_cast<size_t>(d)], want);
        }
    }

    void folderNamedDataIniGivesDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Data.ini"));
        const CharacterTable table = LoadCharacterTable(dir.filePath("Data.ini"));
        for (const QString& entry : table)
            QCOMPARE(entry, DefaultPattern);
    }
};

QTEST_APPLESS_MAIN(TestCharacterTable)
#include "tst_charactertable.moc"
