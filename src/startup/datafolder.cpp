#include "datafolder.h"

#include "files.h"

namespace tikvor {

const std::array<QString, 24>& pictureFiles()
{
    static const std::array<QString, 24> files = [] {
        std::array<QString, 24> f;
        size_t i = 0;
        for (int d = 0; d < 10; ++d)
            f[i++] = QStringLiteral("data/%1.gif").arg(d);
        f[i++] = QStringLiteral("data/d1.gif");
        f[i++] = QStringLiteral("data/d-1.gif");
        for (int d = 0; d < 10; ++d)
            f[i++] = QStringLiteral("data/s%1.gif").arg(d);
        f[i++] = QStringLiteral("data/optionsON.gif");
        f[i++] = QStringLiteral("data/optionsOFF.gif");
        return f;
    }();
    return files;
}

std::optional<QString> firstMissingPicture(const QString& programFolder)
{
    for (const QString& name : pictureFiles()) {
        if (!fileIsPresent(joinPath(programFolder, name)))
            return name;
    }
    return std::nullopt;
}

} // namespace tikvor
