#pragma once
// The pictures the program needs beside it, and which of them is missing.

#include <QString>

#include <array>
#include <optional>

namespace tikvor {

// The 24 pictures, relative to the program folder, in the order they are checked.
const std::array<QString, 24>& pictureFiles();

// The first picture of pictureFiles() that is not present as an ordinary file, or nullopt.
// Stops at the first missing one.
std::optional<QString> firstMissingPicture(const QString& programFolder);

} // namespace tikvor
