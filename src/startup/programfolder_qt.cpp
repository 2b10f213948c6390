#include "programfolder.h"

#include <QCoreApplication>

namespace tikvor {

// Qt's own answer wherever it holds the name whole: Windows names files in UTF-16, which Qt's
// text keeps (GetModuleFileNameW); elsewhere without /proc/self, nothing better exists.
QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace tikvor
