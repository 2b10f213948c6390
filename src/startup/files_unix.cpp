#include "files.h"

#include <QFileInfo>

namespace tikvor {

bool fileIsPresent(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace tikvor
