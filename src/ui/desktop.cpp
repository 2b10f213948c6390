#include "desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>

namespace tikvor {

void SystemDesktop::message(QWidget* owner, const QString& text, const QString& title,
                            BoxIcon icon)
{
    QMessageBox box(icon == BoxIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                    title, text, QMessageBox::Ok, owner);
    box.exec();
}

void SystemDesktop::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

bool SystemDesktop::startTerminal()
{
#ifdef Q_OS_WIN
    return QProcess::startDetached(QStringLiteral("cmd"), {});
#else
    // The desktop's own choice first, then the common terminal emulators.
    QStringList candidates;
    if (const char* term = std::getenv("TERMINAL"); term && *term)
        candidates << QString::fromLocal8Bit(term);
    candidates << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
               << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
               << QStringLiteral("mate-terminal") << QStringLiteral("lxterminal")
               << QStringLiteral("xterm");
    for (const QString& program : candidates) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            continue;
        if (QProcess::startDetached(program, {}))
            return true;
    }
    return false;
#endif
}

void SystemDesktop::exit(int status)
{
    std::exit(status);
}

} // namespace tikvor
