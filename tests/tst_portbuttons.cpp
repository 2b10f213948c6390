// The five port buttons clicked in the window, with recording lines.

#include "formrig.h"

using namespace tikvor;
using namespace tikvor::test;

namespace {
QRadioButton* option(Window& w, int n)
{
    return w.control<QRadioButton>(qPrintable(QString("Option%1").arg(n)));
}
} // namespace

class TestPortButtons : public QObject {
    Q_OBJECT
private slots:
    void choosingAPortSendsFramesThere()
    {
        Window w;
        w.lines.working = 0b00101; // COM1 and COM3
        QVERIFY(w.form.Form_Load());
        QCOMPARE(w.lines.inUse, 1);
        QCOMPARE(w.sentLines().size(), 144 * 2); // the first frame, at start-up
        QVERIFY(!option(w, 2)->isEnabled());
        w.click("Image8");
        const int before = w.lines.openCalls;
        w.clickOption(3);
        QVERIFY(option(w, 3)->isChecked());
        QCOMPARE(w.lines.openCalls - before, 6);
        QCOMPARE(w.lines.inUse, 3);
        QCOMPARE(w.text("Label3"), QString("COM3"));
        QCOMPARE(w.form.state().PortCaption, QString("Tikvor - COM3"));
        w.clearLines();
        w.form.Timer1_Timer();
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM3"));
        QCOMPARE(w.sentLines().size(), 144 * 2);
        QVERIFY(w.sentLines().startsWith("D1T"));
    }

    void unpluggedLineCutsFramesAndTheClockGoesOn()
    {
        Window w;
        QVERIFY(w.form.Form_Load());
        w.clearLines();
        w.lines.unplugged = true;
        for (int s = 8; s < 12; ++s) {
            w.time.now = QTime(9, 5, s);
            w.form.Timer1_Timer();
            w.settle(); // a second apart, as ticks come
            QCOMPARE(w.form.state().SecondUnits, QString::number(s % 10));
        }
        // Each frame stopped at its first operation: one DTR(1) per tick, nothing after it.
        QCOMPARE(w.sentLines(), QString("D1").repeated(4));
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM1"));
        w.lines.unplugged = false; // plugged in again: the next frame goes out whole
        w.clearLines();
        w.form.Timer1_Timer();
        QCOMPARE(w.sentLines().size(), 144 * 2);
        QVERIFY(w.desktop.events.isEmpty());
    }

    void disabledButtonIgnoresTheClick()
    {
        Window w;
        w.lines.working = 0b00101;
        QVERIFY(w.form.Form_Load());
        w.click("Image8");
        const int before = w.lines.openCalls;
        w.clickOption(2);
        QVERIFY(option(w, 1)->isChecked());
        QCOMPARE(w.lines.openCalls, before);
    }

    void lostPortHandsOnRoundTheRing()
    {
        Window w;
        w.lines.working = 0b11000; // COM4 and COM5
        QVERIFY(w.form.Form_Load());
        QVERIFY(option(w, 4)->isChecked());
        w.click("Image8");
        w.lines.working = 0b01000; // COM5 unplugged before the user picks it
        w.clickOption(5);
        QVERIFY(!option(w, 5)->isEnabled());
        QVERIFY(option(w, 4)->isChecked()); // past Option1..3 (dead) back to Option4
        QCOMPARE(w.lines.inUse, 4);
        QCOMPARE(w.text("Label3"), QString("COM4"));
        QCOMPARE(w.form.state().PortCaption, QString("Tikvor - COM4"));
        QVERIFY(w.desktop.events.isEmpty());
        // Clicking the selected button again opens nothing.
        const int before = w.lines.openCalls;
        w.clickOption(4);
        QCOMPARE(w.lines.openCalls, before);
    }

    void noPortLeftIsFinal()
    {
        Window w;
        w.lines.working = 0b00011;
        QVERIFY(w.form.Form_Load());
        w.click("Image8");
        w.lines.working = 0;
        w.clickOption(2);
        QCOMPARE(w.desktop.titles(), QStringList{"CHYBA 02"});
        QCOMPARE(w.text("Label3"), QString("COM0"));
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM0"));
        QCOMPARE(w.form.state().PortClosed, True16);
        w.clearLines();
        w.form.Timer1_Timer();
        QVERIFY(w.sentLines().isEmpty());
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM0"));
    }
};

QTEST_MAIN(TestPortButtons)
#include "tst_portbuttons.moc"
