// The virtual display's window, painted offscreen from the register of a frame sent to it.

#include "clock/frame.h"
#include "clock/sendframe.h"
#include "startup/charactertable.h"
#include "ui/virtualdisplaywindow.h"

#include <QTest>

#include <algorithm>

using namespace tikvor;

class TestVirtualDisplayWindow : public QObject {
    Q_OBJECT
private slots:
    void paintsTheSegmentsTheFrameLights_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("default") << QSize();
        QTest::newRow("tall, narrow") << QSize(300, 400);
    }
    void paintsTheSegmentsTheFrameLights()
    {
        QFETCH(QSize, size);
        VirtualDisplay display(1);
        display.open();
        ClockState s;
        s.HourTens = s.HourUnits = s.MinuteTens = s.MinuteUnits = s.SecondTens = s.SecondUnits =
            QStringLiteral("1");
        s.BlinkSign = 1.0f; // dots of the hours and minutes' tens
        s.FrameBits = buildFrame(LoadCharacterTable(TIKVOR_SOURCE_DIR "/data/Data.ini"), s);
        SendFrame(s.FrameBits, display);

        VirtualDisplayWindow window(display);
        if (size.isValid())
            window.resize(size);
        const QImage image = window.grab().toImage();
        QList<int> litReds, darkReds;
        for (int position = 0; position < DisplayPositions; ++position)
            for (int segment = 0; segment < SegmentCount; ++segment) {
                const QPointF centre =
                    VirtualDisplayWindow::segmentShape(window.size(), position, segment)
                        .boundingRect()
                        .center();
                const int red = qRed(image.pixel(centre.toPoint()));
                // Sample wiring, "1" lights b and c; BlinkSign +1 the dots of positions 1-3.
                const bool lit =
                    segment == 1 || segment == 2 || (segment == DotSegment && position < 3);
                (lit ? litReds : darkReds) << red;
            }
        // Lit segments stand out clearly; dark ones are drawn, but all alike.
        QVERIFY(*std::min_element(litReds.begin(), litReds.end()) >
                *std::max_element(darkReds.begin(), darkReds.end()) + 64);
    }
};

QTEST_MAIN(TestVirtualDisplayWindow)
#include "tst_virtualdisplaywindow.moc"
