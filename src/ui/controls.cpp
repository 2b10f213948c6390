#include "controls.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

namespace tikvor {

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

namespace {

// Decoding seven GIFs every second is nearly all the work of a tick; a file is decoded again
// only when it has changed on disk, and a file that could not be decoded is not tried again
// until it has changed.
struct DecodedPicture {
    // What the file was like at the last decoding; no file has size -1.
    qint64 size = -1;
    qint64 changedMs = 0;
    bool failed = false;
    QPixmap pixmap; // the last one decoded
    quint64 generation = 0;
};

QHash<QString, DecodedPicture>& decodedPictures()
{
    static QHash<QString, DecodedPicture> pictures;
    return pictures;
}

// QFileInfo::lastModified converts to local time, which looks up the time zone (a stat of
// /etc/localtime) for every picture on every tick; the file's own time, in UTC, needs none.
qint64 modifiedMs(const QString& path)
{
    return QFile(path).fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
}

} // namespace

bool PictureBox::loadPicture(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return false;
    const qint64 size = file.size();
    const qint64 changedMs = modifiedMs(path);
    DecodedPicture& picture = decodedPictures()[path];
    if (picture.size != size || picture.changedMs != changedMs) {
        picture.size = size;
        picture.changedMs = changedMs;
        const QImage image = QImageReader(path).read();
        picture.failed = image.isNull();
        if (!picture.failed) {
            static quint64 generations = 0;
            picture.pixmap = QPixmap::fromImage(image);
            picture.generation = ++generations;
        }
    }
    if (picture.failed)
        return false;
    if (path != m_source || picture.generation != m_generation)
        setPixmap(picture.pixmap);
    m_source = path;
    m_generation = picture.generation;
    return true;
}

ShapeControl::ShapeControl(Kind kind, QColor outline, QColor fill, int borderPixels,
                           QWidget* parent)
    : QWidget(parent), m_kind(kind), m_outline(outline), m_fill(fill), m_border(borderPixels)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QPen pen(m_outline);
    pen.setWidth(m_border);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(m_fill.isValid() ? QBrush(m_fill) : Qt::NoBrush);
    const qreal inset = m_border / 2.0;
    const QRectF r = QRectF(rect()).adjusted(inset, inset, -inset - 1, -inset - 1);
    if (m_kind == Kind::Circle) {
        p.setRenderHint(QPainter::Antialiasing);
        p.drawEllipse(r);
    } else {
        p.drawRect(r);
    }
}

LineControl::LineControl(QPoint fromTwips, QPoint toTwips, QColor color, QWidget* parent)
    : QWidget(parent), m_color(color)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const QPoint a(twipsToPixels(fromTwips.x()), twipsToPixels(fromTwips.y()));
    const QPoint b(twipsToPixels(toTwips.x()), twipsToPixels(toTwips.y()));
    setGeometry(QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                      QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y()))));
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), m_color);
}

} // namespace tikvor
