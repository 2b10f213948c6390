#pragma once
// The digit patterns of the display, read once at start-up from section
// "Znaky" of Data.ini, keys "0" to "9".
//
// Contract: always ten entries of exactly eight characters. A missing file,
// section or key gives the default "10010010"; a longer value is cut to its
// first eight characters; a shorter one (the empty value included) is padded
// with "0" so that the frame keeps its 48 characters and its dot positions.

#include "clock/clockstate.h"

#include <QString>

namespace tikvor {

inline const QString DefaultPattern = QStringLiteral("10010010");

CharacterTable LoadCharacterTable(const QString& dataIniPath);

} // namespace tikvor
