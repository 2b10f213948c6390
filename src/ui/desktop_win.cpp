#include "desktop.h"

#include <QProcess>

namespace tikvor {

bool SystemDesktop::startTerminal()
{
    return QProcess::startDetached(QStringLiteral("cmd"), {});
}

} // namespace tikvor
