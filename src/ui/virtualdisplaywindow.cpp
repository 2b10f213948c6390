#include "virtualdisplaywindow.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tikvor {
namespace {

const QColor Background(64, 0, 0);
const QColor Lit(255, 24, 16);
const QColor Unlit(84, 0, 0); // faint, as a dark LED segment looks

// The drawing in units of one digit cell's width: cells 1.0 wide, 1.6 high, a wider gap between
// the hours, minutes and seconds, a margin all round.
constexpr qreal Margin = 0.3;
constexpr qreal PairGap = 0.3;
constexpr qreal CellHeight = 1.6;
constexpr qreal TotalWidth = 2 * Margin + DisplayPositions * 1.0 + 2 * PairGap;
constexpr qreal TotalHeight = 2 * Margin + CellHeight;

// Within a cell: the digit's outline, the stroke and the small gap between two segments.
constexpr qreal Left = 0.12, Right = 0.72, Top = 0.1, Middle = 0.8, Bottom = 1.5;
constexpr qreal Stroke = 0.13, Gap = 0.025;

QPolygonF horizontal(qreal y)
{
    const qreal h = Stroke / 2, x1 = Left + Gap, x2 = Right - Gap;
    return QPolygonF(
        {{x1, y}, {x1 + h, y - h}, {x2 - h, y - h}, {x2, y}, {x2 - h, y + h}, {x1 + h, y + h}});
}

QPolygonF vertical(qreal x, qreal top, qreal bottom)
{
    const qreal h = Stroke / 2, y1 = top + Gap, y2 = bottom - Gap;
    return QPolygonF(
        {{x, y1}, {x + h, y1 + h}, {x + h, y2 - h}, {x, y2}, {x - h, y2 - h}, {x - h, y1 + h}});
}

QPolygonF dot()
{
    QPolygonF circle;
    const QPointF centre(Right + 0.14, Bottom);
    for (int i = 0; i < 16; ++i) {
        const qreal angle = i * 2 * std::numbers::pi / 16;
        circle << centre + QPointF(std::cos(angle), std::sin(angle)) * (Stroke * 0.6);
    }
    return circle;
}

QPolygonF cellShape(int segment)
{
    const QPolygonF shapes[SegmentCount] = {horizontal(Top),
                                            vertical(Right, Top, Middle),
                                            vertical(Right, Middle, Bottom),
                                            horizontal(Bottom),
                                            vertical(Left, Middle, Bottom),
                                            vertical(Left, Top, Middle),
                                            horizontal(Middle),
                                            dot()};
    return shapes[segment];
}

} // namespace

VirtualDisplayWindow::VirtualDisplayWindow(VirtualDisplay& display, QWidget* parent)
    : QWidget(parent, Qt::Window), m_display(display), m_repaint([this] { update(); })
{
    setObjectName(QStringLiteral("VirtualDisplay"));
    setWindowTitle(QString::fromUtf8("Tikvor - virtuální displej"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(432, 132);
    setMinimumSize(72, 22);

    // Runs on the line thread at every clocked bit.
    m_display.setListener([this](quint64, auto) { m_repaint.noteChange(); });
}

VirtualDisplayWindow::~VirtualDisplayWindow()
{
    m_display.setListener({});
}

QPolygonF VirtualDisplayWindow::segmentShape(QSizeF size, int position, int segment)
{
    const qreal scale = std::min(size.width() / TotalWidth, size.height() / TotalHeight);
    const QPointF origin((size.width() - TotalWidth * scale) / 2,
                         (size.height() - TotalHeight * scale) / 2);
    const qreal cellLeft = Margin + position + (position / 2) * PairGap;
    QPolygonF shape = cellShape(segment);
    for (QPointF& p : shape)
        p = origin + (p + QPointF(cellLeft, Margin)) * scale;
    return shape;
}

void VirtualDisplayWindow::paintEvent(QPaintEvent*)
{
    const DisplaySegments shown = segmentsOf(m_display.bits());
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int position = 0; position < DisplayPositions; ++position)
        for (int segment = 0; segment < SegmentCount; ++segment) {
            const bool lit = (shown[size_t(position)] >> segment) & 1u;
            painter.setBrush(lit ? Lit : Unlit);
            painter.drawPolygon(segmentShape(size(), position, segment));
        }
}

} // namespace tikvor
