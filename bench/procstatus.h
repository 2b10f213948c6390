#pragma once
// Memory figures of the running process, shared by the clock's benches and the bare window that
// is their yardstick (which must carry nothing of the clock).

#include <QByteArray>
#include <QFile>

// Kilobytes of one field of /proc/self/status ("VmRSS", "RssAnon", "RssFile", "VmHWM"); -1 when
// the field is not there.
inline long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}
