#pragma once
// A throw-away program folder with the delivered pictures and Data.ini, a built program in a
// folder of its own as installed, and a file writer.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace tikvor::test {

// Writes bytes to path, replacing what was there.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The sample Data.ini with its [Porty] section given these lines ("COM2=/dev/pts/7").
inline QByteArray sampleIniWithPorts(const QStringList& ports)
{
    QFile sample(TIKVOR_SOURCE_DIR "/data/Data.ini");
    if (!sample.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = sample.readAll();
    text.replace("[Porty]", "[Porty]\r\n" + ports.join("\r\n").toLocal8Bit());
    return text;
}

// The delivered pictures into folder/data; false when one did not arrive.
inline bool copyPictures(const QString& folder)
{
    const QDir source(TIKVOR_SOURCE_DIR "/data");
    bool copied = QDir(folder).mkpath("data");
    for (const QString& name : source.entryList({"*.gif"}, QDir::Files))
        copied = QFile::copy(source.filePath(name), folder + "/data/" + name) && copied;
    return copied;
}

struct ProgramFolder {
    QTemporaryDir dir;
    ProgramFolder()
    {
        copyPictures(dir.path());
        QFile::copy(TIKVOR_SOURCE_DIR "/data/Data.ini", dir.filePath("Data.ini"));
    }
    QString path() const { return dir.path(); }
    QString file(const QString& relative) const { return dir.filePath(relative); }
    void write(const QString& relative, const QByteArray& bytes) const
    {
        QVERIFY(writeFile(file(relative), bytes));
    }
    void remove(const QString& relative) const
    {
        const QString p = file(relative);
        if (QFileInfo(p).isDir())
            QDir(p).removeRecursively();
        else
            QFile::remove(p);
    }
};

// A built program copied into a folder of its own as installed, with the pictures and a Data.ini
// that maps COM`n` to `device` and every other port to a path that does not exist: never a real
// device, whatever happens. ok() is false when the copy or a file failed.
struct ProgramCopy {
    QTemporaryDir dir;
    QString program;
    bool written = false;
    ProgramCopy(const QString& built, int n, const QString& device)
        : program(dir.filePath(QFileInfo(built).fileName()))
    {
        QStringList ports;
        for (int com = 1; com <= 5; ++com)
            ports << QString("COM%1=%2").arg(com).arg(com == n ? device : dir.filePath("none"));
        written = QFile::copy(built, program) &&
                  QFile::setPermissions(program, QFile::permissions(built)) &&
                  writeFile(dir.filePath("Data.ini"), sampleIniWithPorts(ports)) &&
                  copyPictures(dir.path());
    }
    bool ok() const { return written; }
    QString file(const QString& relative) const { return dir.filePath(relative); }
    // The environment in which the line shim `shim` lends the mapped pty modem lines, each line
    // change taking delayUs, traced to file("trace").
    QProcessEnvironment shimEnvironment(const QString& shim, int delayUs = 0) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", shim);
        env.insert("LINESHIM_TRACE", file("trace"));
        if (delayUs > 0)
            env.insert("LINESHIM_DELAY_US", QString::number(delayUs));
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
        return env;
    }
};

} // namespace tikvor::test
