#include "programfolder.h"

#include <QCoreApplication>

namespace tikvor {

// Windows names files in UTF-16, which Qt's text holds whole, and Qt asks for the program's
// name in it (GetModuleFileNameW).
QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace tikvor
