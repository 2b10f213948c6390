#pragma once
// The emulated display's own window: six red seven-segment digits with their dots, drawn here
// to whatever size the window has.
//
// Contract:
// - Shows what the VirtualDisplay's register drives, read on the window's thread. A change on
//   the line thread schedules a repaint; repaints come at most 60 times a second.
// - A top-level window titled "Tikvor - virtuální displej" that never keeps the program alive:
//   the last main window closing ends the program with this one still open. Its owner closes
//   or deletes it; deleting it before the display is allowed, the display must outlive it.
// - segmentShape is the geometry the painter uses: segment 0..6 (a..g) or DotSegment of
//   position 0..5 (left to right) in a window of the given size.

#include "display/repaintpacer.h"
#include "display/virtualdisplay.h"

#include <QPolygonF>
#include <QWidget>

namespace tikvor {

class VirtualDisplayWindow final : public QWidget {
    Q_OBJECT
public:
    explicit VirtualDisplayWindow(VirtualDisplay& display, QWidget* parent = nullptr);
    ~VirtualDisplayWindow() override;

    VirtualDisplay& display() const { return m_display; }
    static QPolygonF segmentShape(QSizeF size, int position, int segment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VirtualDisplay& m_display;
    RepaintPacer m_repaint;
};

} // namespace tikvor
