#include "programfolder.h"

#include <QDir>
#include <windows.h>

namespace tikvor {

bool fileIsPresent(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString native = QDir::toNativeSeparators(path);
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(native.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        == 0;
}

} // namespace tikvor
