#include "files.h"

namespace tikvor {

QString joinPath(const QString& folder, const QString& relative)
{
    if (folder.isEmpty() || folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + relative;
    return folder + u'/' + relative;
}

} // namespace tikvor
