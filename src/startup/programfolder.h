#pragma once
// Files beside the program. Only presence is ever tested, never content.

#include <QString>

namespace tikvor {

// True for an ordinary file (not a folder); on Windows a file marked hidden or system counts as
// missing as well.
bool fileIsPresent(const QString& path);

} // namespace tikvor
