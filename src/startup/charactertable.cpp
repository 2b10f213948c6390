#include "charactertable.h"

#include "inireader.h"

namespace tikvor {

CharacterTable LoadCharacterTable(const QString& dataIniPath)
{
    CharacterTable table;
    for (int d = 0; d < 10; ++d) {
        // A buffer of nine delivers at most eight characters, as the display needs.
        const QString value = readProfileString(QStringLiteral("Znaky"), QString::number(d),
                                                DefaultPattern, 9, dataIniPath);
        table[static_cast<size_t>(d)] = value.leftJustified(8, u'0', true);
    }
    return table;
}

} // namespace tikvor
