// The program folder from the executable's path as the kernel names it: a folder whose name is
// no UTF-8 is reached all the same.

#include "startup/files.h"
#include "startup/inireader.h"
#include "startup/programfolder.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tikvor;

class TestProgramFolder : public QObject {
    Q_OBJECT
private slots:
    void readsDataIniBesideTheProgram_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("plainPath"); // the folder's own path, as messages would show it
        QTest::newRow("UTF-8 name") << QByteArray("hodiny \xC4\x8D") << true;
        QTest::newRow("Latin-2 name") << QByteArray("hodiny\xE8") << false;
    }
    void readsDataIniBesideTheProgram()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, plainPath);
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + '/' + name;
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        // QTemporaryDir cannot name what it would have to remove.
        const auto removed = qScopeGuard([&] {
            ::unlink(folder + "/Data.ini");
            ::rmdir(folder.constData());
        });
        FILE* ini = std::fopen(folder + "/Data.ini", "wb");
        QVERIFY(ini);
        std::fputs("[Init]\r\nKRVVerze=1.07\r\n", ini);
        std::fclose(ini);

        const QString found = folderOfExecutable(folder + "/Tikvor_1");
        QCOMPARE(found == QFile::decodeName(folder), plainPath);
        const QString dataIni = joinPath(found, "Data.ini");
        QVERIFY2(fileIsPresent(dataIni), qPrintable(dataIni));
        QCOMPARE(readProfileString("Init", "KRVVerze", "CHYBA", 10, dataIni), "1.07");
    }
};

QTEST_APPLESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
