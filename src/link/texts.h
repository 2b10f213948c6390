#pragma once
// The words both front ends show for what the core reports: the window in its message boxes and
// tooltips, tikvor-display on standard error. The core itself reports facts only.

#include "port/portrefusal.h"

#include <QString>
#include <QStringList>

namespace tikvor {

// "CHYBA 01": Data.ini missing; the text ends with the maker's web address.
inline const QString DataIniMissingTitle = QStringLiteral("CHYBA 01");
QString dataIniMissingText();

// "ERROR 03": a picture missing; the web address in capitals. The program then ends with
// PictureMissingExitStatus.
inline const QString PictureMissingTitle = QStringLiteral("ERROR 03");
QString pictureMissingText();
inline constexpr int PictureMissingExitStatus = 3;

// "CHYBA 02": no port can be opened.
inline const QString NoPortTitle = QStringLiteral("CHYBA 02");
inline const QString NoPortText =
    QStringLiteral("Nelze otevřít žádný port. Program nebude odesílat data.");

// "TITLE: text", as a console shows a box.
inline QString boxLine(const QString& title, const QString& text)
{
    return title + QStringLiteral(": ") + text;
}

// One line of English naming the device and why it was refused, as standard error shows it.
QString describeRefusal(const PortRefusal& refusal);

QString webAddress();

// One line of English for each section of the Data.ini at `path` that appears again further
// down: what is written there is not read, as standard error says once at start-up.
QStringList repeatedSectionLines(const QString& path);

} // namespace tikvor
