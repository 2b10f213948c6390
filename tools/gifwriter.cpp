#include "gifwriter.h"

#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace tikvor {

namespace {

constexpr int maxCodeBits = 12;
constexpr int maxCodes = 1 << maxCodeBits;
constexpr int maxDimension = 0xffff;
constexpr int maxColours = 256;

void setError(QString* error, const QString& text)
{
    if (error) {
        *error = text;
    }
}

void appendLe16(QByteArray& out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// Codes are packed least significant bit first, as GIF decoders expect.
class BitPacker {
public:
    void put(int code, int bits)
    {
        buffer_ |= quint32(code) << count_;
        count_ += bits;
        while (count_ >= 8) {
            bytes_.append(char(buffer_ & 0xff));
            buffer_ >>= 8;
            count_ -= 8;
        }
    }
    QByteArray finish()
    {
        if (count_ > 0) {
            bytes_.append(char(buffer_ & 0xff));
        }
        buffer_ = 0;
        count_ = 0;
        return bytes_;
    }

private:
    quint32 buffer_ = 0;
    int count_ = 0;
    QByteArray bytes_;
};

QByteArray compress(const QImage& indexed, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    // Key: prefix code in the high bits, appended pixel in the low byte.
    std::unordered_map<quint32, int> table;
    table.reserve(maxCodes);
    int nextCode = 0;
    int codeBits = 0;
    BitPacker out;

    auto reset = [&] {
        table.clear();
        nextCode = clearCode + 2;
        codeBits = minCodeSize + 1;
    };
    // The decoder defines each entry one code after we do, so it widens one
    // code later too; widening here after the write keeps both in step.
    auto writeCode = [&](int code) {
        out.put(code, codeBits);
        if (nextCode >= (1 << codeBits) && codeBits < maxCodeBits) {
            ++codeBits;
        }
    };

    reset();
    writeCode(clearCode);
    int prefix = -1;
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x) {
            const int pixel = line[x];
            if (prefix < 0) {
                prefix = pixel;
                continue;
            }
            const quint32 key = (quint32(prefix) << 8) | quint32(pixel);
            const auto found = table.find(key);
            if (found != table.end()) {
                prefix = found->second;
                continue;
            }
            writeCode(prefix);
            if (nextCode < maxCodes) {
                table.emplace(key, nextCode++);
            } else {
                // A full table would freeze the dictionary on whatever the top
                // of the image looked like; starting over adapts to the rest.
                writeCode(clearCode);
                reset();
            }
            prefix = pixel;
        }
    }
    writeCode(prefix);
    writeCode(endCode);
    return out.finish();
}

QByteArray assemble(const QImage& indexed, const QList<QRgb>& colours)
{
    int tableBits = 1;
    while ((1 << tableBits) < colours.size()) {
        ++tableBits;
    }
    // LZW needs two codes beyond the pixel values, which a 1-bit start cannot hold.
    const int minCodeSize = std::max(2, tableBits);

    QByteArray out;
    out.append("GIF87a", 6);
    appendLe16(out, indexed.width());
    appendLe16(out, indexed.height());
    // Global table present, 8 bits per primary, unsorted, table size.
    out.append(char(0x80 | (7 << 4) | (tableBits - 1)));
    out.append(char(0)); // background colour index
    out.append(char(0)); // square pixels
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < colours.size() ? colours.at(i) : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }

    out.append(char(0x2c));
    appendLe16(out, 0);
    appendLe16(out, 0);
    appendLe16(out, indexed.width());
    appendLe16(out, indexed.height());
    out.append(char(0)); // no local table, not interlaced

    out.append(char(minCodeSize));
    const QByteArray data = compress(indexed, minCodeSize);
    for (qsizetype pos = 0; pos < data.size(); pos += 255) {
        const qsizetype length = std::min<qsizetype>(255, data.size() - pos);
        out.append(char(length));
        out.append(data.constData() + pos, length);
    }
    out.append(char(0));
    out.append(char(0x3b));
    return out;
}

bool checkSize(const QImage& image, QString* error)
{
    if (image.isNull()) {
        setError(error, QStringLiteral("the image is empty"));
        return false;
    }
    if (image.width() > maxDimension || image.height() > maxDimension) {
        setError(error, QStringLiteral("%1x%2 is larger than GIF allows (65535x65535)")
                            .arg(image.width())
                            .arg(image.height()));
        return false;
    }
    return true;
}

bool checkPalette(qsizetype size, QString* error)
{
    if (size < 1 || size > maxColours) {
        setError(error, QStringLiteral("a GIF palette holds 1 to 256 colours, not %1").arg(size));
        return false;
    }
    return true;
}

} // namespace

QImage mapToPalette(const QImage& image, const QList<QRgb>& palette)
{
    if (image.isNull() || palette.isEmpty() || palette.size() > maxColours) {
        return {};
    }
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_Indexed8);
    result.setColorTable(palette);

    QHash<QRgb, uchar> nearest;
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = result.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const QRgb colour = in[x] & RGB_MASK;
            const auto cached = nearest.constFind(colour);
            if (cached != nearest.constEnd()) {
                out[x] = *cached;
                continue;
            }
            int best = 0;
            int bestDistance = std::numeric_limits<int>::max();
            for (int i = 0; i < palette.size(); ++i) {
                const int dr = qRed(colour) - qRed(palette.at(i));
                const int dg = qGreen(colour) - qGreen(palette.at(i));
                const int db = qBlue(colour) - qBlue(palette.at(i));
                const int distance = dr * dr + dg * dg + db * db;
                if (distance < bestDistance) {
                    best = i;
                    bestDistance = distance;
                }
            }
            nearest.insert(colour, uchar(best));
            out[x] = uchar(best);
        }
    }
    return result;
}

QByteArray encodeGif(const QImage& image, QString* error)
{
    if (!checkSize(image, error)) {
        return {};
    }
    QImage indexed = image;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        indexed = image.convertToFormat(QImage::Format_Indexed8);
    } else if (image.format() != QImage::Format_Indexed8) {
        setError(error, QStringLiteral("a non-indexed image needs a palette"));
        return {};
    }
    const QList<QRgb> colours = indexed.colorTable();
    if (!checkPalette(colours.size(), error)) {
        return {};
    }
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x) {
            if (line[x] >= colours.size()) {
                setError(error, QStringLiteral("pixel (%1,%2) uses colour %3 of a %4-colour table")
                                    .arg(x)
                                    .arg(y)
                                    .arg(line[x])
                                    .arg(colours.size()));
                return {};
            }
        }
    }
    return assemble(indexed, colours);
}

QByteArray encodeGif(const QImage& image, const QList<QRgb>& palette, QString* error)
{
    if (!checkSize(image, error) || !checkPalette(palette.size(), error)) {
        return {};
    }
    return assemble(mapToPalette(image, palette), palette);
}

bool writeGifFile(const QString& fileName, const QByteArray& gif, QString* error)
{
    if (gif.isEmpty()) {
        setError(error, QStringLiteral("nothing to write to %1").arg(fileName));
        return false;
    }
    // QSaveFile so that a failed redraw never leaves a truncated picture behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(gif) != gif.size() || !file.commit()) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    return true;
}

} // namespace tikvor
