#include "files.h"

#include <QDir>
#include <QFileInfo>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tikvor {
namespace {

// A full path in the form that reaches past MAX_PATH: "\\?\C:\..." or "\\?\UNC\server\...".
// That form is taken literally, so the path is made absolute and clean first.
std::wstring extendedPath(const QString& path)
{
    const QString full =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (full.startsWith(QLatin1String("\\\\?\\")))
        return full.toStdWString();
    if (full.startsWith(QLatin1String("\\\\")))
        return (QLatin1String("\\\\?\\UNC\\") + full.mid(2)).toStdWString();
    return (QLatin1String("\\\\?\\") + full).toStdWString();
}

} // namespace

bool fileIsPresent(const QString& path)
{
    if (path.isEmpty())
        return false;
    const DWORD attributes = GetFileAttributesW(extendedPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

} // namespace tikvor
