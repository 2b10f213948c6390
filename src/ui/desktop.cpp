#include "desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace tikvor {

void SystemDesktop::message(QWidget* owner, const QString& text, const QString& title, BoxIcon icon)
{
    QMessageBox box(icon == BoxIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                    title, QString(), QMessageBox::Ok, owner);
    // Texts come from Data.ini too: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.exec();
}

void SystemDesktop::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace tikvor
