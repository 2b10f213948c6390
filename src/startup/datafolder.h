#pragma once
// The files the program needs beside it, and the texts it shows when they
// are missing.

#include <QString>

#include <array>
#include <optional>

namespace tikvor {

// The 24 pictures, relative to the program folder, in the order they are checked.
const std::array<QString, 24>& pictureFiles();

// The first picture of pictureFiles() that is not present as an ordinary file, or nullopt.
// Stops at the first missing one.
std::optional<QString> firstMissingPicture(const QString& programFolder);

// The box for a missing or unusable Data.ini; the web address closes the text.
QString dataIniMissingText(const QString& webAddress);
inline const QString DataIniMissingTitle = QStringLiteral("CHYBA 01");

// The box for a missing picture; the web address is written in capitals.
QString pictureMissingText(const QString& webAddress);
inline const QString PictureMissingTitle = QStringLiteral("ERROR 03");

// Exit status of a start refused for a missing picture.
inline constexpr int PictureMissingExitStatus = 3;

} // namespace tikvor
