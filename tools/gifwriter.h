#pragma once
// A GIF87a encoder: Qt reads GIF but cannot write it, and the clock's pictures
// must be produced here rather than taken from anywhere else.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>

namespace tikvor {

// Encodes an 8-bit indexed image (1-bit images are widened first) with its own
// colour table. Returns an empty array and sets *error when the image cannot be
// represented faithfully: no colour table, more than 256 colours, or a pixel
// index outside the table.
QByteArray encodeGif(const QImage& image, QString* error = nullptr);

// Encodes any image after mapping every pixel to the nearest palette colour.
// GIF87a has no transparency, so alpha is ignored.
QByteArray encodeGif(const QImage& image, const QList<QRgb>& palette, QString* error = nullptr);

// The mapping encodeGif uses: an indexed image whose colour table is palette.
// Ties go to the lower index so the result never depends on hashing order.
// Returns a null image for a null image or a palette outside 1..256 colours.
QImage mapToPalette(const QImage& image, const QList<QRgb>& palette);

// Writes already encoded bytes; false with *error when the file cannot be
// written completely.
bool writeGifFile(const QString& fileName, const QByteArray& gif, QString* error = nullptr);

} // namespace tikvor
