// The real message box of the desktop seam: however the user closes it, the
// call returns, so the action behind it (the terminal after the help) goes on.

#include "ui/desktop.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tikvor;

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void everyWayOfClosingReturns_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("title bar close") << "close";
    }
    void everyWayOfClosingReturns()
    {
        QFETCH(QString, how);
        QString seenTitle;
        QString seenText;
        bool critical = false;
        bool plain = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            critical = box->icon() == QMessageBox::Critical;
            // A value from Data.ini such as "<b>1.0</b>" must show its brackets.
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            plain =
                box->textFormat() == Qt::PlainText && label && label->textFormat() == Qt::PlainText;
            QCOMPARE(box->buttons().size(), 1);
            if (how == "ok")
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            else if (how == "enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (how == "escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->close();
        });
        SystemDesktop desktop;
        const QString text = QString::fromUtf8("Zadejte příkaz \"TIME\" <b>1.0</b>");
        desktop.message(nullptr, text, "Tikvor", BoxIcon::Critical);
        QCOMPARE(seenTitle, QString("Tikvor"));
        QCOMPARE(seenText, text);
        QVERIFY(critical);
        QVERIFY(plain);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
