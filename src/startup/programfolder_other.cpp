#include "programfolder.h"

#include <QCoreApplication>

namespace tikvor {

// No /proc/self to ask; Qt's answer, from the program's arguments where nothing better exists.
QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace tikvor
