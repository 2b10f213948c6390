// tikvor-display's drawing of an emulated display on a terminal of a given width.

#include "console/virtualconsole.h"

#include <QRegularExpression>
#include <QTest>

using namespace tikvor;

class TestVirtualConsole : public QObject {
    Q_OBJECT
private slots:
    // Redrawn in place, all lit and all dark by turns, the drawing stays where it is: no line
    // is wider than the terminal, and each drawing lands on the one before while the width
    // stays.
    void drawingFitsTheTerminal_data()
    {
        QTest::addColumn<QList<int>>("widths"); // one a drawing
        QTest::newRow("narrow terminal") << QList<int>{20, 20, 20};
        QTest::newRow("narrowed, widened") << QList<int>{80, 80, 20, 20, 80, 80};
    }
    void drawingFitsTheTerminal()
    {
        QFETCH(QList<int>, widths);
        TerminalDrawing drawing(true);
        static const QRegularExpression up("^\x1b\\[(\\d+)A");
        int row = 0; // where the cursor is left, below the drawing
        for (qsizetype i = 0; i < widths.size(); ++i) {
            DisplaySegments shown{};
            shown.fill(i % 2 ? 0xff : 0);
            QString text = drawing.next(shown, widths[i]);
            const QRegularExpressionMatch m = up.match(text);
            const QStringList lines =
                text.remove(0, m.capturedLength()).remove("\x1b[K").split(u'\n');
            for (const QString& line : lines)
                QVERIFY2(line.size() <= widths[i], qPrintable(line));
            const int after = row - m.captured(1).toInt() + int(lines.size());
            if (i > 0 && widths[i] == widths[i - 1])
                QCOMPARE(after, row);
            row = after;
        }
    }
};

QTEST_GUILESS_MAIN(TestVirtualConsole)
#include "tst_virtualconsole.moc"
