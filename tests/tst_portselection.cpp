// Choosing the port: the scan at start-up for every combination of working
// ports, and the user's choice with the hand-on round the ring.

#include "port/portselection.h"
#include "support/recordinglines.h"

#include <QTest>
#include <functional>

using namespace tikvor;
using namespace tikvor::test;

namespace {

class FakePanel : public PortPanel {
public:
    int selectedButton = 1;
    std::array<bool, 5> enabled{true, true, true, true, true};
    QString label = "COM1";
    QStringList labels; // every text Label3 was given
    QString caption = "Tikvor - COM0";
    int boxes = 0;
    int depth = 0;
    int maxDepth = 0;
    std::function<void()> handler;

    bool isSelected(int n) const override { return selectedButton == n; }
    bool isEnabled(int n) const override { return enabled[static_cast<size_t>(n - 1)]; }
    void disable(int n) override { enabled[static_cast<size_t>(n - 1)] = false; }
    void select(int n) override
    {
        selectedButton = n;
        if (isEnabled(n))
            runHandler();
    }
    void deselectAll() override { selectedButton = 0; }
    void setPortLabel(const QString& t) override { labels << (label = t); }
    void setCaption(const QString& c) override { caption = c; }
    void showNoPortError() override { ++boxes; }
    // A click by the user: a disabled button cannot be selected.
    void userSelect(int n)
    {
        if (!isEnabled(n))
            return;
        selectedButton = n;
        runHandler();
    }
    QString disabledList() const
    {
        QString out;
        for (int n = 1; n <= 5; ++n)
            if (!isEnabled(n))
                out += QString::number(n);
        return out;
    }

private:
    void runHandler()
    {
        maxDepth = std::max(maxDepth, ++depth);
        handler();
        --depth;
    }
};

struct Rig {
    PortNaming state;
    RecordingLines lines;
    FakePanel panel;
    PortSelection ports{state, lines, panel};
    explicit Rig(unsigned working)
    {
        lines.working = working;
        panel.handler = [this] { ports.OptionClick(); };
    }
};

} // namespace

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void scanAtStartUp_data()
    {
        QTest::addColumn<unsigned>("working");
        QTest::addColumn<int>("inUse");
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("calls");
        QTest::addColumn<int>("boxes");
        for (unsigned mask = 0; mask < 32; ++mask) {
            QString disabled;
            int first = 0;
            for (int n = 1; n <= 5; ++n) {
                if (mask & (1u << (n - 1))) {
                    if (!first)
                        first = n;
                } else {
                    disabled += QString::number(n);
                }
            }
            // Five scan calls and one for the chosen port; a hand-on to an enabled button
            // runs a nested selection with its own six.
            const int calls = first == 0 ? 5 : first == 1 ? 6 : 12;
            QTest::addRow("ports %s", qPrintable(QString::number(mask, 2).rightJustified(5, '0')))
                << mask << first << disabled << first << calls << (first == 0 ? 1 : 0);
        }
    }
    void scanAtStartUp()
    {
        QFETCH(unsigned, working);
        QFETCH(int, inUse);
        QFETCH(QString, disabled);
        QFETCH(int, selected);
        QFETCH(int, calls);
        QFETCH(int, boxes);
        Rig r(working);
        r.ports.ScanAtStartUp();
        QCOMPARE(r.lines.inUse.load(), inUse);
        QCOMPARE(r.panel.disabledList(), disabled);
        QCOMPARE(r.panel.selectedButton, selected);
        QCOMPARE(r.lines.opens().size(), calls);
        QCOMPARE(r.panel.boxes, boxes);
        const QString name = inUse ? QString("COM%1").arg(inUse) : QString("COM0");
        QCOMPARE(r.panel.label, name);
        QCOMPARE(r.state.port, inUse);
        QCOMPARE(r.state.PortClosed, inUse ? False16 : True16);
        if (inUse)
            QCOMPARE(r.lines.opens().last(), name); // the chosen port is the last one opened
        else
            QCOMPARE(r.panel.caption, QString("Tikvor - COM0"));
    }

    void selection_data()
    {
        QTest::addColumn<unsigned>("atStart"); // ports working at start-up
        QTest::addColumn<unsigned>("atClick"); // ports working when the user clicks
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("inUse");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<bool>("closed");
        QTest::newRow("COM3 chosen and opens")
            << 0b11111u << 0b11111u << 3 << 3 << 3 << "COM3" << 0 << false;
        QTest::newRow("COM3 died, COM4 takes over")
            << 0b11111u << 0b11011u << 3 << 4 << 4 << "COM4" << 0 << false;
        QTest::newRow("COM5 died, ring goes on to COM1")
            << 0b11111u << 0b01111u << 5 << 1 << 1 << "COM1" << 0 << false;
        QTest::newRow("COM1 died, ring goes on to COM2")
            << 0b11111u << 0b11110u << 1 << 2 << 2 << "COM2" << 0 << false;
        // The ring's no-port end leaves the selection on Option1, whichever button was clicked.
        QTest::newRow("COM2 died, all others dead before")
            << 0b00010u << 0b00000u << 2 << 2 << 1 << "COM0" << 1 << true;
        QTest::newRow("everything died, old port kept")
            << 0b11111u << 0b00000u << 4 << 1 << 1 << "COM0" << 1 << true;
        QTest::newRow("disabled button cannot be chosen")
            << 0b00101u << 0b00101u << 2 << 1 << 1 << "COM1" << 0 << false;
    }
    void selection()
    {
        QFETCH(unsigned, atStart);
        QFETCH(unsigned, atClick);
        QFETCH(int, clicked);
        QFETCH(int, inUse);
        QFETCH(int, selected);
        QFETCH(QString, label);
        QFETCH(int, boxes);
        QFETCH(bool, closed);
        Rig r(atStart);
        r.ports.ScanAtStartUp();
        r.lines.working = atClick;
        r.panel.userSelect(clicked);
        QCOMPARE(r.lines.inUse.load(), inUse);
        QCOMPARE(r.panel.selectedButton, selected);
        QCOMPARE(r.panel.label, label);
        QCOMPARE(portLabel(r.state.port), label);
        QCOMPARE(r.panel.boxes, boxes);
        QCOMPARE(r.state.PortClosed, closed ? True16 : False16);
        QVERIFY(r.panel.maxDepth <= 5);
    }

    // A port that opened in the scan but not on the open that makes it the one in use is a
    // failed port: never named, its button disabled, the selection handed on.
    void failedReopenIsAFailedPort_data()
    {
        QTest::addColumn<unsigned>("working");
        QTest::addColumn<int>("clicked"); // 0: the start-up scan
        QTest::addColumn<int>("dies");    // the port that fails on its re-open
        QTest::addColumn<int>("inUse");
        QTest::newRow("start-up") << 0b10001u << 0 << 1 << 5;
        QTest::newRow("click") << 0b11111u << 3 << 3 << 4;
    }
    void failedReopenIsAFailedPort()
    {
        QFETCH(unsigned, working);
        QFETCH(int, clicked);
        QFETCH(int, dies);
        QFETCH(int, inUse);
        Rig r(working);
        if (clicked)
            r.ports.ScanAtStartUp();
        const qsizetype scanEnd = r.lines.opens().size() + 5;
        r.lines.afterOpen = [&](RecordingLines& l) {
            if (l.opens().size() == scanEnd)
                l.working &= ~(1u << (dies - 1));
        };
        r.panel.labels.clear();
        if (clicked)
            r.panel.userSelect(clicked);
        else
            r.ports.ScanAtStartUp();
        QCOMPARE(r.lines.inUse.load(), inUse);
        QCOMPARE(r.panel.selectedButton, inUse);
        QVERIFY(!r.panel.isEnabled(dies));
        QVERIFY(!r.panel.labels.contains(QString("COM%1").arg(dies)));
        QCOMPARE(r.state.port, inUse);
    }

    void noPortIsFinal()
    {
        Rig r(0b00011u);
        r.ports.ScanAtStartUp();
        r.lines.working = 0;
        r.panel.userSelect(2);
        QCOMPARE(r.panel.boxes, 1);
        r.lines.working = 0b11111u;
        r.lines.clear();
        r.panel.enabled.fill(true);
        for (int n = 1; n <= 5; ++n)
            r.panel.userSelect(n);
        QCOMPARE(r.lines.opens().size(), 0);
        QCOMPARE(r.panel.label, QString("COM0"));
        QCOMPARE(r.panel.boxes, 1);
        QCOMPARE(r.state.PortClosed, True16);
    }

    // Each port dies right after the scan that found it working, so every nested run finds its
    // own port gone: the ring must still end, with one box.
    void portsDyingOneByOneEndWithOneBox()
    {
        Rig r(0b11111u);
        r.ports.ScanAtStartUp();
        r.lines.working = 0b11110u;
        r.lines.afterOpen = [](RecordingLines& l) {
            if (l.opens().size() % 6 == 0) // after each scan and open, the port in use dies
                l.working &= ~(1u << (l.inUse - 1));
        };
        r.panel.userSelect(1);
        QVERIFY2(r.panel.maxDepth <= 5, qPrintable(QString::number(r.panel.maxDepth)));
        QVERIFY(r.panel.boxes <= 1);
        if (r.state.PortClosed == True16)
            QCOMPARE(r.panel.label, QString("COM0"));
    }
};

QTEST_APPLESS_MAIN(TestPortSelection)
#include "tst_portselection.moc"
