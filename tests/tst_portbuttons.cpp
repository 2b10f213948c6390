// The five port buttons clicked in the window, with recording lines.

#include "support/formrig.h"
#include "ui/refusaltooltip.h"

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
        QVERIFY(w.load());
        QCOMPARE(w.lines.inUse.load(), 1);
        QCOMPARE(w.sentLines().size(), 144 * 2); // the first frame, at start-up
        QVERIFY(!option(w, 2)->isEnabled());
        w.click("Image8");
        const int before = w.lines.openCalls;
        w.clickOption(3);
        QVERIFY(option(w, 3)->isChecked());
        QCOMPARE(w.lines.openCalls.load() - before, 6);
        QCOMPARE(w.lines.inUse.load(), 3);
        QCOMPARE(w.text("Label3"), QString("COM3"));
        QCOMPARE(w.form.state().PortCaption, QString("Tikvor - COM3"));
        w.clearLines();
        w.form.Timer1_Timer();
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM3"));
        QCOMPARE(w.sentLines().size(), 144 * 2);
        QVERIFY(w.sentLines().startsWith("D1T"));
    }

    void unpluggedPortIsFoundAgain()
    {
        Window w;
        QVERIFY(w.load());
        w.clearLines();
        w.lines.unplugged = true;
        const auto tick = [&](int second, qint64 lineMs) {
            w.time.now = QTime(9, 5, second);
            w.steady = lineMs;
            w.form.Timer1_Timer();
            w.settle();
            QCOMPARE(w.form.state().SecondUnits, QString::number(second % 10));
        };
        tick(8, 1000); // stops at its first operation; the link counts as lost
        QCOMPARE(w.sentLines(), QString("D1"));
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM1 (odpojeno)"));
        const int opened = w.lines.openCalls;
        tick(9, 2000); // tries the port again: still away
        QCOMPARE(w.lines.openCalls.load(), opened + 1);
        w.lines.unplugged = false;
        tick(10, 2500); // not yet a second since the last try: nothing touches the line
        QCOMPARE(w.sentLines(), QString("D1"));
        tick(11, 3000); // opened again, and the frame goes out whole
        QCOMPARE(w.lines.openCalls.load(), opened + 2);
        QCOMPARE(w.sentLines().size(), 2 + 144 * 2);
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM1"));
        // The choice is untouched by the loss, and nothing was asked of the user.
        QVERIFY(option(w, 1)->isChecked());
        QCOMPARE(w.form.state().PortClosed, False16);
        QVERIFY(w.desktop.events.isEmpty());
    }

    // A choice that ends with no port ends the loss with it: no port is closed, not lost.
    void noPortAfterALossIsNotLost()
    {
        Window w;
        w.lines.working = 0b00101;
        QVERIFY(w.load());
        w.lines.unplugged = true;
        w.steady = 1000;
        w.form.Timer1_Timer();
        w.settle();
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM1 (odpojeno)"));
        w.clickOption(3);
        QCOMPARE(w.desktop.titles(), QStringList{"CHYBA 02"});
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM0"));
    }

    // A port choice on an adapter that takes its time: the click returns at once, the clock
    // face ticks on, and the frame of that second waits for the choice and goes to the winner.
    void choiceOnASlowAdapterNeverHoldsTheWindow()
    {
        Window w;
        w.lines.working = 0b00101;
        QVERIFY(w.load());
        w.clearLines();
        QSemaphore gate;
        w.lines.openGate = &gate;
        w.click("Image8");
        auto* three = option(w, 3);
        QTest::mouseClick(three, Qt::LeftButton, {}, QPoint(6, three->height() / 2));
        w.time.now = QTime(9, 5, 8);
        w.form.Timer1_Timer(); // the line thread is held in the first open
        QCOMPARE(w.form.state().SecondUnits, QString("8"));
        QCOMPARE(w.text("Label3"), QString("COM1")); // the choice has not come back yet
        QVERIFY(w.lines.lineCalls().isEmpty());
        gate.release(6); // the scan of five ports and the open of the chosen one
        w.settle();
        w.lines.openGate = nullptr;
        QCOMPARE(w.text("Label3"), QString("COM3"));
        QCOMPARE(w.lines.inUse.load(), 3);
        QCOMPARE(w.lines.lineCalls().size(), 144 * 2); // one frame, after the choice
    }

    void disabledButtonIgnoresTheClick()
    {
        Window w;
        w.lines.working = 0b00101;
        QVERIFY(w.load());
        w.click("Image8");
        const int before = w.lines.openCalls;
        w.clickOption(2);
        QVERIFY(option(w, 1)->isChecked());
        QCOMPARE(w.lines.openCalls.load(), before);
    }

    void lostPortHandsOnRoundTheRing()
    {
        Window w;
        w.lines.working = 0b11000; // COM4 and COM5
        QVERIFY(w.load());
        QVERIFY(option(w, 4)->isChecked());
        w.click("Image8");
        w.lines.working = 0b01000; // COM5 unplugged before the user picks it
        w.clickOption(5);
        QVERIFY(!option(w, 5)->isEnabled());
        QVERIFY(option(w, 4)->isChecked()); // past Option1..3 (dead) back to Option4
        QCOMPARE(w.lines.inUse.load(), 4);
        QCOMPARE(w.text("Label3"), QString("COM4"));
        QCOMPARE(w.form.state().PortCaption, QString("Tikvor - COM4"));
        QVERIFY(w.desktop.events.isEmpty());
        // Clicking the selected button again opens nothing.
        const int before = w.lines.openCalls;
        w.clickOption(4);
        QCOMPARE(w.lines.openCalls.load(), before);
    }

    // The real ports of a folder that maps COM1 to COM5 to paths that do not exist: each greyed
    // button says why, as the user hovers over it.
    void greyedButtonSaysWhy()
    {
        ProgramFolder folder;
        QStringList ports;
        for (int n = 1; n <= 5; ++n)
            ports << QString("COM%1=%2").arg(n).arg(folder.file(QString("none%1").arg(n)));
        folder.write("Data.ini", sampleIniWithPorts(ports));
        FixedTime time;
        RecordingDesktop desktop;
        Form1 form(Form1Options{folder.path(), &time, &desktop, nullptr, true, {}});
        QVERIFY(form.Form_Load());
        settleLink(form.link());
        auto* option2 = form.findChild<QRadioButton*>("Option2");
        QVERIFY(!option2->isEnabled());
        PortRefusal missing;
        missing.reason = PortRefusal::Reason::Missing;
        missing.device = folder.file("none2");
        QCOMPARE(option2->toolTip(), refusalTooltip(missing));
    }

    void noPortLeftIsFinal()
    {
        Window w;
        w.lines.working = 0b00011;
        QVERIFY(w.load());
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
