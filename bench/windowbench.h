#pragma once
// What the benchmarks of the real window share: a program folder of its own with the delivered
// pictures and Data.ini (no [Porty] is read: their lines are stand-ins), and one way to print a
// set of times.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tikvor::bench {

inline void fillProgramFolder(const QTemporaryDir& folder)
{
    QDir(folder.path()).mkdir("data");
    const QDir source(TIKVOR_DATA_DIR);
    for (const QString& name : source.entryList({"*.gif", "Data.ini"}, QDir::Files)) {
        const QString target = name.endsWith(".gif") ? "data/" + name : name;
        QFile::copy(source.filePath(name), folder.filePath(target));
    }
}

// "what  n=..  median ..  p99 ..  max .. ms"
inline void report(const char* what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("%-40s no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) { return v[std::min(v.size() - 1, size_t(q * v.size()))]; };
    std::printf("%-40s n=%-5zu median %9.2f  p99 %9.2f  max %9.2f ms\n", what, v.size(), at(0.5),
                at(0.99), v.back());
}

} // namespace tikvor::bench
