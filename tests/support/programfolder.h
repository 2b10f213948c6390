#pragma once
// A throw-away program folder with the delivered pictures and Data.ini, and a file writer.

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

struct ProgramFolder {
    QTemporaryDir dir;
    ProgramFolder()
    {
        const QDir source(TIKVOR_SOURCE_DIR "/data");
        QDir(dir.path()).mkdir("data");
        for (const QString& name : source.entryList({"*.gif"}, QDir::Files))
            QFile::copy(source.filePath(name), dir.filePath("data/" + name));
        QFile::copy(source.filePath("Data.ini"), dir.filePath("Data.ini"));
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

} // namespace tikvor::test
