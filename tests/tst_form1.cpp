// The main window, headless: a tick with an injected time, the layout, and
// clicks on controls that must do nothing.

#include "support/formrig.h"

#include "display/displaytext.h"
#include "ui/virtualdisplaywindow.h"

#include <QPointer>
#include <QTimer>

using namespace tikvor;
using namespace tikvor::test;

namespace {

// Everything a click could change, as one comparable text.
QString snapshot(Window& w)
{
    QStringList parts{w.form.windowTitle(), QString::number(w.form.height())};
    for (QWidget* c : w.form.findChildren<QWidget*>()) {
        parts << c->objectName() + QString(" %1,%2 %3x%4 %5 %6")
                                       .arg(c->x())
                                       .arg(c->y())
                                       .arg(c->width())
                                       .arg(c->height())
                                       .arg(c->isEnabled())
                                       .arg(c->isVisible());
        if (auto* p = qobject_cast<PictureBox*>(c))
            parts << p->source();
        else if (auto* l = qobject_cast<QLabel*>(c))
            parts << l->text();
        if (auto* o = qobject_cast<QRadioButton*>(c))
            parts << QString::number(o->isChecked());
    }
    const ClockState& s = w.form.state();
    parts << s.FrameBits << s.PortCaption << QString::number(s.PortClosed)
          << QString::number(s.BlinkSign) << QString::number(w.lines.openCalls.load())
          << w.desktop.events;
    return parts.join('|');
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void startUpShowsTheTimeAtOnce()
    {
        Window w;
        QVERIFY(!w.form.timer().isActive());
        w.load();
        QVERIFY(w.form.timer().isActive());
        QCOMPARE(w.form.timer().interval(), 1000);
        const QString data = w.folder.path() + "/data/";
        QCOMPARE(w.picture("Image1"), data + "0.gif");
        QCOMPARE(w.picture("Image2"), data + "9.gif");
        QCOMPARE(w.picture("Image3"), data + "0.gif");
        QCOMPARE(w.picture("Image4"), data + "5.gif");
        QCOMPARE(w.picture("Image5"), data + "s0.gif");
        QCOMPARE(w.picture("Image6"), data + "s7.gif");
        QCOMPARE(w.picture("Image7"), data + "d-1.gif");
        QCOMPARE(w.control("Shape1")->x(), (7 * 61 + 120) / 15);
        QCOMPARE(w.form.windowTitle(), QString("Tikvor - COM1"));
        QCOMPARE(w.form.dataIniPath(), w.folder.path() + "/Data.ini");
        QCOMPARE(w.control<QLabel>("Label2")->text(), QString("11110110")); // entry 9
        QVERIFY(w.desktop.events.isEmpty());
    }

    void tickFollowsTheInjectedTime()
    {
        Window w;
        w.load();
        w.time.now = QTime(12, 34, 56);
        w.form.Timer1_Timer();
        const QString data = w.folder.path() + "/data/";
        QCOMPARE(w.picture("Image1"), data + "1.gif");
        QCOMPARE(w.picture("Image4"), data + "4.gif");
        QCOMPARE(w.picture("Image6"), data + "s6.gif");
        QCOMPARE(w.picture("Image7"), data + "d1.gif");
        QCOMPARE(w.control("Shape1")->x(), (56 * 61 + 120) / 15);
        // Sample wiring: 6, 5, 4, 3, 2, 1 with the high dots lit.
        QCOMPARE(w.control<QLabel>("Label1")->text(),
                 QString("101111101011011001100110 111100111101101101100001"));
        QVERIFY(!w.control<PictureBox>("Image1")->pixmap().isNull());
    }

    void unreadablePictureKeepsThePreviousOne()
    {
        Window w;
        w.load(); // 09:05:07: Image4 shows 5.gif
        QFile broken(w.folder.path() + "/data/6.gif");
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("GIF89a this is not a picture");
        broken.close();
        QFile::remove(w.folder.path() + "/data/s8.gif");
        w.time.now = QTime(9, 6, 8);
        w.form.Timer1_Timer();
        QCOMPARE(w.picture("Image4"), w.folder.path() + "/data/5.gif");
        QCOMPARE(w.picture("Image6"), w.folder.path() + "/data/s7.gif");
        // The rest of the tick still ran.
        QCOMPARE(w.picture("Image7"), w.folder.path() + "/data/d1.gif");
        QCOMPARE(w.form.state().SecondUnits, QString("8"));
        QCOMPARE(w.form.state().FrameBits.size(), 48);
    }

    void replacedPictureFileShowsAtTheNextTick()
    {
        Window w;
        w.load(); // 09:05:07: Image4 shows 5.gif
        const QImage five = w.control<PictureBox>("Image4")->pixmap().toImage();
        QFile six(w.folder.file("data/6.gif"));
        QVERIFY(six.open(QIODevice::ReadOnly));
        w.folder.write("data/5.gif", six.readAll());
        w.time.now = QTime(9, 5, 8);
        w.form.Timer1_Timer();
        const QImage shown = w.control<PictureBox>("Image4")->pixmap().toImage();
        QVERIFY(shown != five);
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32),
                 QImage(w.folder.file("data/6.gif")).convertToFormat(QImage::Format_ARGB32));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("Image1") << "Image1" << QRect(8, 8, 47, 66);
        QTest::newRow("Image4") << "Image4" << QRect(160, 8, 47, 66);
        QTest::newRow("Image6") << "Image6" << QRect(232, 40, 24, 34);
        QTest::newRow("Image7") << "Image7" << QRect(101, 27, 13, 28);
        QTest::newRow("Image8") << "Image8" << QRect(152, 88, 104, 23);
        QTest::newRow("Shape1") << "Shape1" << QRect(8, 76, 9, 9);
        QTest::newRow("Line2") << "Line2" << QRect(8, 120, 249, 1);
        QTest::newRow("Label3") << "Label3" << QRect(80, 216, 177, 16);
        QTest::newRow("Option5") << "Option5" << QRect(8, 224, 57, 13);
        QTest::newRow("Label1") << "Label1" << QRect(80, 168, 177, 25);
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        Window w;
        QCOMPARE(w.control(name.toLatin1())->geometry(), pixels);
    }

    void labelsShowTheirWholeText()
    {
        Window w;
        for (QLabel* label : w.form.findChildren<QLabel*>()) {
            if (label->wordWrap() || qobject_cast<PictureBox*>(label) ||
                !label->isVisibleTo(&w.form))
                continue;
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(needed <= label->width(), qPrintable(label->objectName()));
            QVERIFY2(label->x() + label->width() <= 265, qPrintable(label->objectName()));
        }
        // The frame label breaks into its two halves rather than shrink to fit on one line.
        QCOMPARE(w.control<QLabel>("Label1")->font().pointSizeF(), w.form.font().pointSizeF());
        // The two action labels stay between their frames' side borders.
        for (auto [label, frame] :
             {std::pair{"Label9", "Shape3"}, std::pair{"Label10", "Shape2"}}) {
            const QRect inner = w.control(frame)->geometry().adjusted(3, 0, -3, 0);
            const QRect text = w.control(label)->geometry();
            QVERIFY2(text.left() >= inner.left() && text.right() <= inner.right(), label);
        }
    }

    void theTwoProgramsDifferOnlyInTheTaskbarButton()
    {
        Window one;
        Window zero(false);
        // The same ordinary window: a tool window would lose its minimise box and its icon,
        // and would not end the program when closed.
        QCOMPARE(zero.form.windowFlags(), one.form.windowFlags());
        QCOMPARE(zero.form.windowFlags() & Qt::WindowType_Mask, Qt::Window);
        QVERIFY(!zero.form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(zero.form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(one.form.showsInTaskbar() && !zero.form.showsInTaskbar());
        QVERIFY(one.load() && zero.load());
        QCOMPARE(zero.form.state().FrameBits, one.form.state().FrameBits);
        QCOMPARE(zero.form.windowTitle(), one.form.windowTitle());
        QCOMPARE(zero.lines.lineCalls(), one.lines.lineCalls());
    }

    void closingTheWindowEndsTheProgramAndItsFrames_data()
    {
        QTest::addColumn<bool>("showInTaskbar");
        QTest::newRow("Tikvor_1") << true;
        QTest::newRow("Tikvor_0") << false;
    }
    void closingTheWindowEndsTheProgramAndItsFrames()
    {
        QFETCH(bool, showInTaskbar);
        Window w(showInTaskbar);
        Form1& form = w.form;
        QVERIFY(w.load());
        const QString sent = w.lines.lineCalls();
        QCOMPARE(sent.size(), 48 * 6); // the start-up frame, whole
        // As the programs run: the end comes from the link, not from the last window closing.
        QApplication::setQuitOnLastWindowClosed(false);
        QTimer::singleShot(0, &form, &QWidget::close);
        QTimer failsafe;
        failsafe.callOnTimeout([] { QCoreApplication::exit(1); });
        failsafe.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0); // the event loop ended with the window
        QVERIFY(!form.isVisible());
        QVERIFY(!form.timer().isActive());
        QVERIFY(form.lineSender()->waitFinished(0)); // the line was at rest before the end
        QCOMPARE(w.lines.lineCalls(), sent + "D0T0");
        w.time.now = w.time.now.addSecs(1);
        form.Timer1_Timer();
        QCOMPARE(w.lines.lineCalls(), sent + "D0T0");
    }

    // Ports mapped to "virtual": the display of the port in use has its window, showing the
    // frames; closed, a click on its port brings it back; a click to another port closes it,
    // and it goes with the program.
    void virtualDisplayWindowFollowsThePortInUse()
    {
        ProgramFolder folder;
        QStringList ports{"COM1=virtual", "COM2=VIRTUAL"};
        for (const char* n : {"3", "4", "5"}) // never a real device
            ports << QString("COM%1=%2").arg(n, folder.file("none"));
        folder.write("Data.ini", sampleIniWithPorts(ports));
        FixedTime time;
        RecordingDesktop desktop;
        Form1 form{Form1Options{folder.path(), &time, &desktop, nullptr, true, {}}};
        const auto shown = [&] {
            VirtualDisplayWindow* window = form.virtualDisplayWindow();
            return window && window->isVisible()
                       ? displayLine(segmentsOf(window->display().bits())).remove('.')
                       : QString();
        };
        QVERIFY(form.Form_Load());
        settleLink(form.link());
        QCOMPARE(shown(), QString("090507"));
        const QPointer<VirtualDisplayWindow> first = form.virtualDisplayWindow();
        QCOMPARE(first->windowTitle(), QString("Tikvor - virtuální displej"));
        // Closed by the user, it comes back with a click on its port's button.
        first->close();
        QCOMPARE(shown(), QString());
        auto* option1 = form.findChild<QRadioButton*>("Option1");
        QTest::mouseClick(option1, Qt::LeftButton, {}, QPoint(6, option1->height() / 2));
        QCOMPARE(shown(), QString("090507"));
        QCOMPARE(form.virtualDisplayWindow(), first.data());

        auto* option2 = form.findChild<QRadioButton*>("Option2");
        QTest::mouseClick(option2, Qt::LeftButton, {}, QPoint(6, option2->height() / 2));
        settleLink(form.link());
        QVERIFY2(!first, "the window of the port left is closed");
        time.now = time.now.addSecs(1);
        form.Timer1_Timer();
        settleLink(form.link());
        QCOMPARE(shown(), QString("090508"));
        QCOMPARE(&form.virtualDisplayWindow()->display(), form.link().virtualDisplay());

        const QPointer<VirtualDisplayWindow> second = form.virtualDisplayWindow();
        form.close();
        QVERIFY(!second);
        QVERIFY(form.link().waitStopped(5000));
    }

    // A line so slow that the frame would hold the window for seconds: closing hides the window
    // at once and returns; the rest of the frame and the rest of the lines follow on the line
    // thread, then the program ends.
    void closingOnAVerySlowLineNeverHoldsTheWindow()
    {
        Window w;
        QVERIFY(w.load());
        w.clearLines();
        QSemaphore gate;
        w.lines.lineGate = &gate;
        // Closed once the frame is on the line, not while it still waits to be picked up.
        w.lines.enterAt = w.lines.operations() + 1;
        w.form.Timer1_Timer();
        QVERIFY(w.lines.entered.tryAcquire(1, 5000));
        w.form.close();
        QVERIFY(!w.form.isVisible());
        QCOMPARE(w.form.link().stopStatus(), std::optional<int>(0));
        gate.release(144 + 2);
        QVERIFY(w.form.link().waitStopped(5000));
        w.lines.lineGate = nullptr;
        QCOMPARE(w.lines.lineCalls().size(), 2 * (144 + 2));
        QVERIFY(w.lines.lineCalls().endsWith("D0D0T0"));
    }

    void disabledPortButtonsLookGrey()
    {
        Window w;
        w.lines.working = 0b11011; // COM3 fails at start-up
        w.load();
        auto* enabled = w.control<QRadioButton>("Option2");
        auto* disabled = w.control<QRadioButton>("Option3");
        QVERIFY(enabled->isEnabled() && !disabled->isEnabled());
        const QImage on = enabled->grab().toImage();
        const QImage off = disabled->grab().toImage();
        QCOMPARE(off.size(), on.size());
        // Text and circle both change: compare the circle's half and the text's half apart.
        const int split = 16;
        QVERIFY(on.copy(0, 0, split, on.height()) != off.copy(0, 0, split, off.height()));
        QVERIFY(on.copy(split, 0, on.width() - split, on.height()) !=
                off.copy(split, 0, off.width() - split, off.height()));
        // No white text is left on a disabled button.
        for (int y = 0; y < off.height(); ++y)
            for (int x = split; x < off.width(); ++x)
                QVERIFY(off.pixelColor(x, y) != QColor(Qt::white));
    }

    void windowIsFixedAndStartsFolded()
    {
        Window w;
        QCOMPARE(w.form.minimumSize(), Form1::FoldedSize);
        QCOMPARE(w.form.maximumSize(), Form1::FoldedSize);
        QVERIFY(w.control<QRadioButton>("Option1")->isChecked());
        QCOMPARE(w.control<QLabel>("Label3")->text(), QString("COM1"));
        QVERIFY(!w.control("Label2")->isVisibleTo(&w.form));
        QCOMPARE(w.control<QLabel>("Label8")->text(), "v1.0." + QString(60, ' ') + "Id.:63210");
        QCOMPARE(w.control<QLabel>("Label9")->text(), QString::fromUtf8("Nastavení hodin"));
        QCOMPARE(w.control<QLabel>("Label10")->text(), QString::fromUtf8("Datový soubor"));
    }

    // One window, each control that does nothing clicked in turn as a user would: on the window
    // at its place, then on the control itself.
    void clicksOnInertControlsChangeNothing()
    {
        Window w;
        w.load();
        w.form.setFixedSize(Form1::UnfoldedSize); // make the panel's controls reachable
        QStringList changed;
        for (const char* name : {"Image1", "Image2", "Image3", "Image4", "Image5", "Image6",
                                 "Image7", "Label1", "Label3", "Label4", "Label5", "Label6",
                                 "Label8", "Shape1", "Shape2", "Shape3", "Line1", "Line3"}) {
            QWidget* target = w.control(name);
            const QString before = snapshot(w);
            QTest::mouseClick(&w.form, Qt::LeftButton, {}, target->geometry().center());
            QTest::mouseClick(target, Qt::LeftButton);
            w.settle(); // what a click sent to the line thread counts against that click
            if (snapshot(w) != before)
                changed << name;
        }
        QCOMPARE(changed.join(", "), QString());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
