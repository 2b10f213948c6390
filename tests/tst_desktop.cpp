// The real message box of the desktop seam: however the user closes it, the
// call returns, so the action behind it (the terminal after the help) goes on.

#include "ui/desktop.h"

#include <QApplication>
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
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            critical = box->icon() == QMessageBox::Critical;
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
        desktop.message(nullptr, QString::fromUtf8("Zadejte příkaz \"TIME\""), "Tikvor",
                        BoxIcon::Critical);
        QCOMPARE(seenTitle, QString("Tikvor"));
        QCOMPARE(seenText, QString::fromUtf8("Zadejte příkaz \"TIME\""));
        QVERIFY(critical);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
