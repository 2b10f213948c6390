// Draws every picture the clock shows. The pictures are committed, but they
// are made here so that anyone can change and redraw them, and no font or
// picture from elsewhere ends up in the program.

#include "gifwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QTextStream>

#include <array>

namespace tikvor {
namespace {

const QRgb background = qRgb(64, 0, 0);
const QRgb dim = qRgb(96, 0, 0);
const QRgb lit = qRgb(255, 0, 0);

// Edges are drawn antialiased; the in-between reds keep them smooth once the
// picture is reduced to the few colours the palette allows. A few shades go
// between background and dim, because unlit segments have edges too.
QList<QRgb> redPalette(int size)
{
    QList<QRgb> palette{background, dim, lit};
    const int steps = size - 3;
    const int low = steps / 8;
    const int high = steps - low;
    for (int i = 1; i <= low; ++i) {
        palette.append(qRgb(64 + (32 * i + (low + 1) / 2) / (low + 1), 0, 0));
    }
    for (int i = 1; i <= high; ++i) {
        palette.append(qRgb(96 + (159 * i + (high + 1) / 2) / (high + 1), 0, 0));
    }
    return palette;
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

// Bit 0..6 = segments a..g: top, upper right, lower right, bottom, lower left,
// upper left, middle.
constexpr std::array<int, 10> digitSegments{0x3f, 0x06, 0x5b, 0x4f, 0x66,
                                            0x6d, 0x7d, 0x07, 0x7f, 0x6f};
constexpr int allSegments = 0x7f;

struct DigitStyle {
    int margin;     // background around the digit, in pixels
    int thickness;  // whole pixels, so the long edges fall on pixel borders and stay sharp
    double gap;     // gap at each segment end, so segments read as separate
    bool drawUnlit; // unlit segments in dim red, as on a real display
};

QPolygonF horizontalSegment(double x0, double x1, double y, double half, double gap)
{
    x0 += gap;
    x1 -= gap;
    return QPolygonF({{x0, y},
                      {x0 + half, y - half},
                      {x1 - half, y - half},
                      {x1, y},
                      {x1 - half, y + half},
                      {x0 + half, y + half}});
}

QPolygonF verticalSegment(double x, double y0, double y1, double half, double gap)
{
    y0 += gap;
    y1 -= gap;
    return QPolygonF({{x, y0},
                      {x + half, y0 + half},
                      {x + half, y1 - half},
                      {x, y1},
                      {x - half, y1 - half},
                      {x - half, y0 + half}});
}

void drawDigit(QPainter& painter, const QRect& cell, int segments, const DigitStyle& style)
{
    const double half = style.thickness / 2.0;
    const double left = cell.left() + style.margin + half;
    const double right = cell.left() + cell.width() - style.margin - half;
    const double top = cell.top() + style.margin + half;
    const double bottom = cell.top() + cell.height() - style.margin - half;
    const double middle = (top + bottom) / 2.0;
    const double gap = style.gap;

    const std::array<QPolygonF, 7> shapes{
        horizontalSegment(left, right, top, half, gap),
        verticalSegment(right, top, middle, half, gap),
        verticalSegment(right, middle, bottom, half, gap),
        horizontalSegment(left, right, bottom, half, gap),
        verticalSegment(left, middle, bottom, half, gap),
        verticalSegment(left, top, middle, half, gap),
        horizontalSegment(left, right, middle, half, gap),
    };
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const bool on = segments & (1 << i);
        if (!on && !style.drawUnlit) {
            continue;
        }
        painter.setBrush(QColor(on ? lit : dim));
        painter.drawPolygon(shapes[i]);
    }
}

QImage digitPicture(int digit, QSize size, const DigitStyle& style)
{
    QImage image = canvas(size.width(), size.height());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawDigit(painter, image.rect(), digitSegments.at(digit), style);
    return image;
}

QImage colonPicture(QRgb dots)
{
    QImage image = canvas(13, 28);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(dots));
    painter.drawEllipse(QPointF(6.5, 9.0), 3.5, 3.5);
    painter.drawEllipse(QPointF(6.5, 19.0), 3.5, 3.5);
    return image;
}

// A tiny segment font for the one word the clock writes. Each glyph lives in
// a box 12 pixels high; strokes are 2 pixels wide and the straight ones sit on
// pixel borders so they stay sharp at this size.
struct Glyph {
    int width;
    QList<QRectF> bars;
    QList<QPolygonF> slants;
};

Glyph glyphFor(QChar letter)
{
    const QRectF left(0, 0, 2, 12);
    const QRectF right(6, 0, 2, 12);
    const QRectF top(0, 0, 8, 2);
    const QRectF middle(0, 5, 8, 2);
    const QRectF bottom(0, 10, 8, 2);
    switch (letter.unicode()) {
    case u'N':
        return {8, {left, right}, {QPolygonF({{0, 0}, {2, 0}, {8, 12}, {6, 12}})}};
    case u'A':
        return {8, {left, right, top, middle}, {}};
    case u'S':
        return {8, {top, QRectF(0, 0, 2, 7), middle, QRectF(6, 5, 2, 7), bottom}, {}};
    case u'T':
        return {8, {top, QRectF(3, 0, 2, 12)}, {}};
    case u'V':
        return {8,
                {QRectF(0, 0, 2, 6), QRectF(6, 0, 2, 6)},
                {QPolygonF({{0, 5}, {2, 5}, {5, 12}, {3, 12}}),
                 QPolygonF({{8, 5}, {6, 5}, {3, 12}, {5, 12}})}};
    case u'E':
        return {8, {left, top, QRectF(0, 5, 6, 2), bottom}, {}};
    case u'\u00cd': // I with acute: the accent rises to the right above the stem
        return {2, {QRectF(0, 0, 2, 12)}, {QPolygonF({{0, -1}, {2.5, -1}, {5, -4}, {2.5, -4}})}};
    default:
        return {8, {}, {}};
    }
}

enum class Angle { Right, Left };

QImage optionsPicture(Angle angle)
{
    const QString word = QStringLiteral("NASTAVEN\u00cd");
    constexpr int spacing = 2;
    constexpr int angleGap = 5;
    constexpr int angleWidth = 6;

    QImage image = canvas(104, 23);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(lit));
    painter.drawRect(image.rect());
    painter.setBrush(QColor(background));
    painter.drawRect(image.rect().adjusted(1, 1, -1, -1));

    int textWidth = 0;
    for (const QChar letter : word) {
        textWidth += glyphFor(letter).width + spacing;
    }
    const int total = textWidth - spacing + angleGap + angleWidth;
    const int baseTop = 7;
    int x = 1 + (image.width() - 2 - total) / 2;

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(lit));
    for (const QChar letter : word) {
        const Glyph glyph = glyphFor(letter);
        painter.save();
        painter.translate(x, baseTop);
        for (const QRectF& bar : glyph.bars) {
            painter.drawRect(bar);
        }
        for (const QPolygonF& slant : glyph.slants) {
            painter.drawPolygon(slant);
        }
        painter.restore();
        x += glyph.width + spacing;
    }

    x += angleGap - spacing;
    const QPolygonF chevron = angle == Angle::Right
                                  ? QPolygonF({{0, 0}, {2, 0}, {6, 6}, {2, 12}, {0, 12}, {4, 6}})
                                  : QPolygonF({{6, 0}, {4, 0}, {0, 6}, {4, 12}, {6, 12}, {2, 6}});
    painter.translate(x, baseTop);
    painter.drawPolygon(chevron);
    return image;
}

// Drawn on a 32-pixel grid and scaled, so every size of the menu icons is the same picture.
QImage iconPicture(int size = 32)
{
    QImage image = canvas(size, size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    const DigitStyle style{1, 3, 0.5, false};
    drawDigit(painter, QRect(2, 4, 14, 24), allSegments, style);
    drawDigit(painter, QRect(16, 4, 14, 24), allSegments, style);
    return image;
}

class Writer {
public:
    bool gif(const QString& dir, const QString& name, const QImage& image, int colours)
    {
        QString error;
        const QString path = QDir(dir).filePath(name);
        const QByteArray bytes = encodeGif(image, redPalette(colours), &error);
        if (bytes.isEmpty() || !writeGifFile(path, bytes, &error)) {
            return fail(path, error);
        }
        ++written_;
        return true;
    }

    // Any format Qt writes, such as "ICO" for the Windows program icon.
    bool save(const QString& dir, const QString& name, const QImage& image, int colours,
              const char* format)
    {
        const QString path = QDir(dir).filePath(name);
        if (!mapToPalette(image, redPalette(colours)).save(path, format)) {
            return fail(path, QStringLiteral("cannot write the file"));
        }
        ++written_;
        return true;
    }

    int written() const { return written_; }

private:
    static bool fail(const QString& path, const QString& error)
    {
        QTextStream(stderr) << "tikvor_picgen: " << path << ": " << error << '\n';
        return false;
    }

    int written_ = 0;
};

bool makeDir(const QString& path)
{
    if (QDir().mkpath(path)) {
        return true;
    }
    QTextStream(stderr) << "tikvor_picgen: cannot create folder " << path << '\n';
    return false;
}

int run(const QStringList& args)
{
    if (args.size() < 2 || args.size() > 4) {
        QTextStream(stderr) << "usage: tikvor_picgen <datadir> [<builtindir> [<icondir>]]\n";
        return 2;
    }
    const DigitStyle large{3, 7, 1.0, true};
    const DigitStyle small{2, 4, 0.75, true};
    constexpr int digitColours = 32;
    constexpr int otherColours = 16;

    Writer out;
    bool ok = true;
    const QString data = args.at(1);
    ok = ok && makeDir(data);
    for (int digit = 0; ok && digit < 10; ++digit) {
        ok = out.gif(data, QStringLiteral("%1.gif").arg(digit),
                     digitPicture(digit, {47, 66}, large), digitColours) &&
             out.gif(data, QStringLiteral("s%1.gif").arg(digit),
                     digitPicture(digit, {24, 34}, small), digitColours);
    }
    ok = ok && out.gif(data, QStringLiteral("d1.gif"), colonPicture(lit), otherColours);
    ok = ok && out.gif(data, QStringLiteral("d-1.gif"), colonPicture(dim), otherColours);
    ok = ok &&
         out.gif(data, QStringLiteral("optionsON.gif"), optionsPicture(Angle::Right), otherColours);
    ok = ok &&
         out.gif(data, QStringLiteral("optionsOFF.gif"), optionsPicture(Angle::Left), otherColours);

    if (args.size() >= 3) {
        const QString builtin = args.at(2);
        ok = ok && makeDir(builtin);
        ok = ok && out.gif(builtin, QStringLiteral("image_digit.gif"),
                           digitPicture(0, {47, 66}, large), digitColours);
        ok = ok && out.gif(builtin, QStringLiteral("image_small.gif"),
                           digitPicture(0, {24, 34}, small), digitColours);
        ok = ok &&
             out.gif(builtin, QStringLiteral("image_colon.gif"), colonPicture(lit), otherColours);
        ok = ok && out.gif(builtin, QStringLiteral("image_button.gif"),
                           optionsPicture(Angle::Right), otherColours);
        // A GIF rather than a PNG: in Qt 6.4 reading a PNG loads every image plugin there is.
        ok = ok && out.gif(builtin, QStringLiteral("icon.gif"), iconPicture(), digitColours);
        ok =
            ok && out.save(builtin, QStringLiteral("icon.ico"), iconPicture(), digitColours, "ICO");
    }
    if (args.size() == 4) {
        // The desktop menus' icon theme: <icondir>/<n>x<n>/apps/<name>.png.
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(3)).arg(size);
            ok = ok && makeDir(dir) &&
                 out.save(dir, QStringLiteral("example.krv_software.Tikvor.png"), iconPicture(size),
                          digitColours, "PNG");
        }
    }
    if (!ok) {
        return 1;
    }
    QTextStream(stdout) << "tikvor_picgen: wrote " << out.written() << " pictures\n";
    return 0;
}

} // namespace
} // namespace tikvor

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return tikvor::run(QCoreApplication::arguments());
}
