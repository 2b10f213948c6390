#include "gifwriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace tikvor {
enum class TestPattern { Noise, Stripes, Flat, EveryColour };
} // namespace tikvor

Q_DECLARE_METATYPE(tikvor::TestPattern)

namespace tikvor {

namespace {

using Pattern = TestPattern;

QList<QRgb> makePalette(int size)
{
    // 37 is odd, so the red channel alone keeps all 256 entries distinct.
    QList<QRgb> palette;
    for (int i = 0; i < size; ++i) {
        palette.append(qRgb((i * 37) & 0xff, (i * 91 + 13) & 0xff, (i * 53 + 7) & 0xff));
    }
    return palette;
}

QImage makeImage(QSize size, QImage::Format format, const QList<QRgb>& palette, Pattern pattern)
{
    QImage image(size, format);
    image.setColorTable(palette);
    QRandomGenerator random(4711);
    const int n = int(palette.size());
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            int index = 0;
            switch (pattern) {
            case Pattern::Noise:
                index = int(random.bounded(n));
                break;
            case Pattern::Stripes:
                index = (x / 3 + y) % n;
                break;
            case Pattern::Flat:
                index = n - 1;
                break;
            case Pattern::EveryColour:
                index = (y * size.width() + x) % n;
                break;
            }
            image.setPixel(x, y, uint(index));
        }
    }
    return image;
}

// Walks the block structure and the LZW codes the way a strict decoder would,
// without rebuilding pixels: Qt's decoder accepts a stream that ends without
// its end code, and other decoders do not.
struct StreamCheck {
    bool ok = false;
    int clears = 0;
    int maxCodeBits = 0;
};

StreamCheck checkStream(const QByteArray& gif)
{
    StreamCheck result;
    const int tableBits = (uchar(gif.at(10)) & 7) + 1;
    qsizetype pos = 13 + 3 * (qsizetype(1) << tableBits) + 10;
    const int minCodeSize = uchar(gif.at(pos++));
    QByteArray data;
    while (pos < gif.size()) {
        const int length = uchar(gif.at(pos++));
        if (length == 0) {
            break;
        }
        data.append(gif.mid(pos, length));
        pos += length;
    }
    if (pos != gif.size() - 1 || gif.back() != char(0x3b)) {
        return result;
    }

    const int clearCode = 1 << minCodeSize;
    int next = 0;
    int bits = 0;
    bool first = true;
    qsizetype bitPos = 0;
    auto reset = [&] {
        next = clearCode + 2;
        bits = minCodeSize + 1;
        first = true;
    };
    reset();
    while (bitPos + bits <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < bits; ++i, ++bitPos) {
            code |= ((uchar(data.at(bitPos / 8)) >> (bitPos % 8)) & 1) << i;
        }
        result.maxCodeBits = std::max(result.maxCodeBits, bits);
        if (code == clearCode) {
            ++result.clears;
            reset();
            continue;
        }
        if (code == clearCode + 1) {
            // Only the padding of the last byte may follow the end code.
            result.ok = (data.size() * 8 - bitPos) < 8;
            return result;
        }
        if (code > next || (first && code >= clearCode)) {
            return result;
        }
        if (!first && next < 4096) {
            ++next;
            if (next == (1 << bits) && bits < 12) {
                ++bits;
            }
        }
        first = false;
    }
    return result;
}

} // namespace

class TestGifWriter : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void header_data();
    void header();
    void mapsToNearestColour_data();
    void mapsToNearestColour();
    void rejectsBadInput_data();
    void rejectsBadInput();
    void writesFiles();
};

void TestGifWriter::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colours");
    QTest::addColumn<Pattern>("pattern");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("mustReset");

    const int indexed = QImage::Format_Indexed8;
    QTest::newRow("1x1") << QSize(1, 1) << 2 << Pattern::Noise << indexed << false;
    QTest::newRow("47x66 stripes, 16")
        << QSize(47, 66) << 16 << Pattern::Stripes << indexed << false;
    QTest::newRow("47x66 noise, 32") << QSize(47, 66) << 32 << Pattern::Noise << indexed << false;
    QTest::newRow("24x34 noise, 3") << QSize(24, 34) << 3 << Pattern::Noise << indexed << false;
    QTest::newRow("every colour once")
        << QSize(256, 1) << 256 << Pattern::EveryColour << indexed << false;
    // One colour makes each new code the one just defined, the case decoders
    // must special-case, and grows codes to their widest without a reset.
    QTest::newRow("300x300 flat, 256")
        << QSize(300, 300) << 256 << Pattern::Flat << indexed << false;
    QTest::newRow("300x300 noise, 256")
        << QSize(300, 300) << 256 << Pattern::Noise << indexed << true;
    QTest::newRow("300x300 noise, 2") << QSize(300, 300) << 2 << Pattern::Noise << indexed << true;
    QTest::newRow("1000x70 noise, 17")
        << QSize(1000, 70) << 17 << Pattern::Noise << indexed << true;
    QTest::newRow("mono 33x9") << QSize(33, 9) << 2 << Pattern::Noise << int(QImage::Format_Mono)
                               << false;
}

void TestGifWriter::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, colours);
    QFETCH(Pattern, pattern);
    QFETCH(int, format);
    QFETCH(bool, mustReset);

    const QList<QRgb> palette = makePalette(colours);
    const QImage source = makeImage(size, QImage::Format(format), palette, pattern);
    QString error;
    const QByteArray gif = encodeGif(source, &error);
    QVERIFY2(!gif.isEmpty(), qPrintable(error));

    const StreamCheck stream = checkStream(gif);
    QVERIFY(stream.ok);
    QVERIFY(stream.maxCodeBits <= 12);
    QCOMPARE(stream.clears > 1, mustReset);

    QImage decoded;
    QVERIFY(decoded.loadFromData(gif, "GIF"));
    QCOMPARE(decoded.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb expected = palette.at(source.pixelIndex(x, y));
            if (decoded.pixel(x, y) != expected) {
                QFAIL(qPrintable(QStringLiteral("pixel (%1,%2) is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(decoded.pixel(x, y), 8, 16)
                                     .arg(expected, 8, 16)));
            }
        }
    }
}

void TestGifWriter::header_data()
{
    QTest::addColumn<int>("colours");
    QTest::addColumn<int>("tableBits");
    QTest::addColumn<int>("minCodeSize");

    QTest::newRow("1") << 1 << 1 << 2;
    QTest::newRow("2") << 2 << 1 << 2;
    QTest::newRow("3") << 3 << 2 << 2;
    QTest::newRow("5") << 5 << 3 << 3;
    QTest::newRow("16") << 16 << 4 << 4;
    QTest::newRow("17") << 17 << 5 << 5;
    QTest::newRow("32") << 32 << 5 << 5;
    QTest::newRow("256") << 256 << 8 << 8;
}

void TestGifWriter::header()
{
    QFETCH(int, colours);
    QFETCH(int, tableBits);
    QFETCH(int, minCodeSize);

    const QList<QRgb> palette = makePalette(colours);
    const QByteArray gif =
        encodeGif(makeImage(QSize(300, 2), QImage::Format_Indexed8, palette, Pattern::Stripes));
    QVERIFY(gif.startsWith("GIF87a"));
    QCOMPARE(uchar(gif.at(6)) | uchar(gif.at(7)) << 8, 300);
    QCOMPARE(uchar(gif.at(8)) | uchar(gif.at(9)) << 8, 2);
    QVERIFY(uchar(gif.at(10)) & 0x80);
    QCOMPARE((uchar(gif.at(10)) & 7) + 1, tableBits);

    const qsizetype table = 13;
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb expected = i < colours ? palette.at(i) : qRgb(0, 0, 0);
        const QRgb actual = qRgb(uchar(gif.at(table + 3 * i)), uchar(gif.at(table + 3 * i + 1)),
                                 uchar(gif.at(table + 3 * i + 2)));
        QCOMPARE(actual, expected);
    }
    const qsizetype descriptor = table + 3 * (qsizetype(1) << tableBits);
    QCOMPARE(gif.at(descriptor), char(0x2c));
    QCOMPARE(int(uchar(gif.at(descriptor + 10))), minCodeSize);
    QCOMPARE(gif.back(), char(0x3b));
}

void TestGifWriter::mapsToNearestColour_data()
{
    QTest::addColumn<QRgb>("input");
    QTest::addColumn<QRgb>("expected");

    // Palette: black, white, red, and a near-black that makes a tie.
    QTest::newRow("exact red") << qRgb(255, 0, 0) << qRgb(255, 0, 0);
    QTest::newRow("exact white") << qRgb(255, 255, 255) << qRgb(255, 255, 255);
    QTest::newRow("reddish") << qRgb(200, 30, 30) << qRgb(255, 0, 0);
    QTest::newRow("grey to the nearer dark") << qRgb(100, 100, 100) << qRgb(0, 0, 2);
    QTest::newRow("light grey") << qRgb(150, 150, 150) << qRgb(255, 255, 255);
    QTest::newRow("tie goes to lower index") << qRgb(0, 0, 1) << qRgb(0, 0, 0);
    QTest::newRow("alpha ignored") << qRgba(255, 0, 0, 10) << qRgb(255, 0, 0);
}

void TestGifWriter::mapsToNearestColour()
{
    QFETCH(QRgb, input);
    QFETCH(QRgb, expected);

    const QList<QRgb> palette{qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(255, 0, 0), qRgb(0, 0, 2)};
    // The colour under test sits among exact palette colours, which must not move.
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(palette.at(1));
    image.setPixel(2, 1, input);
    image.setPixel(4, 2, palette.at(3));

    QString error;
    const QByteArray gif = encodeGif(image, palette, &error);
    QVERIFY2(!gif.isEmpty(), qPrintable(error));
    QImage decoded;
    QVERIFY(decoded.loadFromData(gif, "GIF"));
    QCOMPARE(decoded.pixel(2, 1), expected);
    QCOMPARE(decoded.pixel(0, 0), palette.at(1));
    QCOMPARE(decoded.pixel(4, 2), palette.at(3));
}

void TestGifWriter::rejectsBadInput_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("withPalette");
    QTest::addColumn<int>("paletteSize");

    QImage badIndex(4, 4, QImage::Format_Indexed8);
    badIndex.setColorTable(makePalette(3));
    badIndex.fill(0);
    badIndex.scanLine(2)[3] = 7; // setPixel refuses to build this
    QImage noTable(4, 4, QImage::Format_Indexed8);
    noTable.fill(0);
    QImage tooWide(65536, 1, QImage::Format_Indexed8);
    tooWide.setColorTable(makePalette(2));
    tooWide.fill(0);
    QImage rgb(4, 4, QImage::Format_RGB32);
    rgb.fill(Qt::red);

    QTest::newRow("null image") << QImage() << false << 0;
    QTest::newRow("null image, palette") << QImage() << true << 4;
    QTest::newRow("index outside table") << badIndex << false << 0;
    QTest::newRow("no colour table") << noTable << false << 0;
    QTest::newRow("too wide") << tooWide << false << 0;
    QTest::newRow("too wide, palette") << tooWide << true << 2;
    QTest::newRow("rgb without palette") << rgb << false << 0;
    QTest::newRow("empty palette") << rgb << true << 0;
    QTest::newRow("257 colours") << rgb << true << 257;
}

void TestGifWriter::rejectsBadInput()
{
    QFETCH(QImage, image);
    QFETCH(bool, withPalette);
    QFETCH(int, paletteSize);

    QString error;
    const QByteArray gif =
        withPalette ? encodeGif(image, makePalette(paletteSize), &error) : encodeGif(image, &error);
    QVERIFY(gif.isEmpty());
    QVERIFY(!error.isEmpty());
}

void TestGifWriter::writesFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray gif = encodeGif(
        makeImage(QSize(8, 8), QImage::Format_Indexed8, makePalette(4), Pattern::Stripes));

    QString error;
    const QString path = dir.filePath(QStringLiteral("a.gif"));
    QVERIFY2(writeGifFile(path, gif, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), gif);

    QVERIFY(!writeGifFile(dir.filePath(QStringLiteral("missing/b.gif")), gif, &error));
    QVERIFY(!error.isEmpty());
    error.clear();
    QVERIFY(!writeGifFile(dir.filePath(QStringLiteral("c.gif")), QByteArray(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("c.gif"))));
}

} // namespace tikvor

QTEST_GUILESS_MAIN(tikvor::TestGifWriter)
#include "tst_gifwriter.moc"
