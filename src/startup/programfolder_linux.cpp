#include "programfolder.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace tikvor {

QString folderOfExecutable(const QByteArray& executable)
{
    const qsizetype slash = executable.lastIndexOf('/');
    if (slash < 0)
        return {};
    const QByteArray folder = slash == 0 ? QByteArray("/") : executable.first(slash);
    const QString name = QFile::decodeName(folder);
    if (QFile::encodeName(name) == folder)
        return name;
    // Decoding put U+FFFD where the bytes were no UTF-8, and that name leads nowhere. The folder
    // itself is held open for the rest of the run instead, and reached through the process's own
    // link to it, which is plain ASCII.
    const int fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

QString programFolder()
{
    static const QString folder = [] {
        // Qt's applicationDirPath() reads the same link, but as text: for a folder whose name is
        // no UTF-8 it answers "", which is the working directory.
        QByteArray executable(4096, Qt::Uninitialized);
        for (;;) {
            const ssize_t size =
                ::readlink("/proc/self/exe", executable.data(), size_t(executable.size()));
            if (size < 0)
                return QCoreApplication::applicationDirPath();
            if (size < executable.size()) {
                executable.truncate(size);
                break;
            }
            executable.resize(executable.size() * 2);
        }
        const QString found = folderOfExecutable(executable);
        return found.isEmpty() ? QCoreApplication::applicationDirPath() : found;
    }();
    return folder;
}

} // namespace tikvor
