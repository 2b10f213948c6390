#pragma once
// The small control kinds of the main window. Positions and sizes are given in
// twips (15 to the pixel), as the window's layout is written.

#include <QLabel>
#include <QWidget>

namespace tikvor {

constexpr int twipsToPixels(int twips)
{
    return twips / 15;
}
QRect twipsRect(int left, int top, int width, int height);

// A label that reports a completed click (press and release inside it).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

// A picture shown at its natural size. The property "source" names the file last shown.
class PictureBox : public ClickLabel {
    Q_OBJECT
    Q_PROPERTY(QString source READ source)
public:
    using ClickLabel::ClickLabel;
    // Shows the picture in the file as it is now: a file replaced on disk shows its new picture,
    // and a file that is missing or cannot be read or decoded leaves the picture shown (false).
    // The file is decoded again only when its size or time of change differ from the last
    // decoding, also after a failed one: a file that cannot be decoded is tried once per change.
    bool loadPicture(const QString& path);
    QString source() const { return m_source; }

private:
    QString m_source;
    quint64 m_generation = 0; // of the decoded picture shown
};

class ShapeControl : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Circle, Rectangle };
    ShapeControl(Kind kind, QColor outline, QColor fill, int borderPixels, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    QColor m_outline;
    QColor m_fill; // invalid: transparent
    int m_border;
};

// A straight horizontal or vertical line between two points given in twips.
class LineControl : public QWidget {
    Q_OBJECT
public:
    LineControl(QPoint fromTwips, QPoint toTwips, QColor color, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

} // namespace tikvor
