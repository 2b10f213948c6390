// The cursor controls of the drawing in place, cut out for a console driven by calls.

#include "console/consolewriter.h"

#include <QTest>

using namespace tikvor::detail;

namespace {

// "T<text>", "U<lines>", "K", one a piece.
QStringList described(const std::vector<ConsolePiece>& pieces)
{
    QStringList out;
    for (const ConsolePiece& p : pieces) {
        if (p.kind == ConsolePiece::Text)
            out << "T" + QString::fromUtf16(p.text.data(), qsizetype(p.text.size()));
        else if (p.kind == ConsolePiece::Up)
            out << QString("U%1").arg(p.lines);
        else
            out << "K";
    }
    return out;
}

} // namespace

class TestConsoleWriter : public QObject {
    Q_OBJECT
private slots:
    void pieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("plain text") << "1.2.3.456" << QStringList{"T1.2.3.456"};
        QTest::newRow("a drawing in place")
            << "\x1b[3A _ \x1b[K\n|_|\x1b[K" << QStringList{"U3", "T _ ", "K", "T\n|_|", "K"};
        QTest::newRow("up without a count") << "\x1b[Ax" << QStringList{"U1", "Tx"};
        // Only the two controls are carried out; anything else goes out as it came.
        QTest::newRow("other sequences stay text")
            << "a\x1b[5Kb\x1b" << QStringList{"Ta\x1b[5Kb\x1b"};
    }
    void pieces()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        const std::u16string_view view(reinterpret_cast<const char16_t*>(text.utf16()),
                                       size_t(text.size()));
        QCOMPARE(described(consolePieces(view)), pieces);
    }
};

QTEST_MAIN(TestConsoleWriter)
#include "tst_consolewriter.moc"
