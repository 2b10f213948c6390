// PictureBox against files that change under it, as the pictures beside the program may.

#include "ui/controls.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace tikvor;

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void undecodablePictureRemembered_data();
    void undecodablePictureRemembered();
};

void TestControls::undecodablePictureRemembered_data()
{
    QTest::addColumn<int>("grownBy"); // bytes
    QTest::addColumn<int>("laterBy"); // milliseconds of modification time
    QTest::addColumn<bool>("shows");

    QTest::newRow("unchanged") << 0 << 0 << false;
    QTest::newRow("time changed") << 0 << 1000 << true;
    QTest::newRow("size changed") << 1 << 0 << true;
}

void TestControls::undecodablePictureRemembered()
{
    QFETCH(int, grownBy);
    QFETCH(int, laterBy);
    QFETCH(bool, shows);
    QFile source(TIKVOR_SOURCE_DIR "/data/0.gif");
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray gif = source.readAll();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("picture.gif");
    const auto write = [&path](const QByteArray& bytes, const QDateTime& modified) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size() && file.flush() &&
               file.setFileTime(modified, QFileDevice::FileModificationTime);
    };
    // Undecodable, and as long as the picture written later with its padding.
    const qint64 size = gif.size() + 16;
    const QDateTime modified(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC);
    QVERIFY(write(QByteArray(size, 'x'), modified));

    PictureBox box;
    QVERIFY(box.loadPicture(TIKVOR_SOURCE_DIR "/data/1.gif"));
    const QImage before = box.pixmap().toImage();
    for (int tick = 0; tick < 3; ++tick)
        QVERIFY(!box.loadPicture(path));
    QCOMPARE(box.pixmap().toImage(), before);

    // A decodable picture (a GIF ignores what follows its end) that only another decoding of
    // the file would show.
    QVERIFY(write(gif + QByteArray(size - gif.size() + grownBy, 'x'), modified.addMSecs(laterBy)));
    QCOMPARE(box.loadPicture(path), shows);
    QCOMPARE(box.source() == path, shows);
    QCOMPARE(box.pixmap().toImage() != before, shows);
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
