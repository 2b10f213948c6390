#pragma once
// Files beside the program: where they are, and whether they are there. Only presence is ever
// tested, never content.

#include <QString>

namespace tikvor {

// True for an ordinary file (not a folder); on Windows a file marked hidden or system counts as
// missing as well.
bool fileIsPresent(const QString& path);

// Joins a folder and a relative name with "/", adding no separator when the folder already ends
// in one.
QString joinPath(const QString& folder, const QString& relative);

} // namespace tikvor
