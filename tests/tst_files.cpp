// Paths beside the program: a folder and a relative name joined once, whatever the folder ends in.

#include "startup/files.h"

#include <QTest>

using namespace tikvor;

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    void join_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("joined");
        QTest::newRow("plain folder") << "/opt/tikvor"
                                      << "/opt/tikvor/Data.ini";
        QTest::newRow("root") << "/"
                              << "/Data.ini";
        QTest::newRow("drive root") << "C:\\"
                                    << "C:\\Data.ini";
        QTest::newRow("trailing slash") << "C:/Tikvor/"
                                        << "C:/Tikvor/Data.ini";
    }
    void join()
    {
        QFETCH(QString, folder);
        QFETCH(QString, joined);
        QCOMPARE(joinPath(folder, "Data.ini"), joined);
    }
};

QTEST_APPLESS_MAIN(TestFiles)
#include "tst_files.moc"
