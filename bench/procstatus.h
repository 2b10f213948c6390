#pragma once
// Memory figures of the running process, shared by the clock's benches and the bare window that
// is their yardstick (which must carry nothing of the clock).

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

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

// With BENCH_SMAPS=<file>, the mappings behind the figure are copied there, to see which
// library or heap the resident memory belongs to.
inline void saveMappings()
{
    const QString target = qEnvironmentVariable("BENCH_SMAPS");
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    QFile out(target);
    if (!target.isEmpty() && smaps.open(QIODevice::ReadOnly) &&
        out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(smaps.readAll());
}
