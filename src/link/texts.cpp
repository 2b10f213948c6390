#include "texts.h"

#include "startup/inireader.h"
#include "version.h"

#include <QDir>

namespace tikvor {

QString webAddress()
{
    return QString::fromUtf8(version::WebAddress);
}

QString dataIniMissingText()
{
    return QStringLiteral("Nenalezen soubor Data.ini. Znaky nejsou k dispozici.\r\n"
                          "Doporučuji přeinstalovat program, který si můžete stáhnout na ") +
           webAddress();
}

QString pictureMissingText()
{
    return QStringLiteral("Program nelze spustit! Jeden, nebo více souborů ze složky Data nebylo "
                          "nalezeno. Potíže odstraníte opětovnou instalací aplikace, kterou si "
                          "lze stáhnout na ") +
           webAddress().toUpper();
}

QString describeRefusal(const PortRefusal& refusal)
{
    using Reason = PortRefusal::Reason;
    QString why;
    switch (refusal.reason) {
    case Reason::Missing:
        why = QStringLiteral("no such device");
        break;
    case Reason::Busy:
        why = QStringLiteral("in use by another program");
        if (refusal.holderPid != 0)
            why += QStringLiteral(" (process %1, lock file %2)")
                       .arg(refusal.holderPid)
                       .arg(QDir::toNativeSeparators(refusal.lockFile));
        else if (refusal.exclusiveByOther)
            why += QStringLiteral(" (which marked it exclusive)");
        break;
    case Reason::PermissionDenied:
        why = QStringLiteral("permission denied");
        if (refusal.byPolicy)
            why += QStringLiteral(" by a rule of the system, not by the device's owner, group or "
                                  "mode (a service's DeviceAllow=, a security module)");
        else if (!refusal.group.isEmpty())
            why += QStringLiteral(" (join the group \"%1\" that owns it, then log in again)")
                       .arg(refusal.group);
        else if (!refusal.owner.isEmpty())
            why += QStringLiteral(" (only its owner \"%1\" may open it, whatever group you are in: "
                                  "a udev rule or a change of its mode must let you in)")
                       .arg(refusal.owner);
        break;
    case Reason::NotSerialLine:
        why = QStringLiteral("not a serial line");
        break;
    case Reason::NoModemLines:
        why = QStringLiteral("its DTR and break lines cannot be driven");
        break;
    case Reason::FakesBreak:
        why = QStringLiteral("break on and off took %1 ms at best of three (an adapter that fakes "
                             "break; at most %2 ms)")
                  .arg(refusal.breakMs, 0, 'f', 1)
                  .arg(BreakLimitMs);
        break;
    case Reason::SystemConsole:
        why = QStringLiteral("it may be the system console");
        break;
    case Reason::Failed:
        why = QStringLiteral("the system refused it");
        break;
    }
    if (!refusal.systemMessage.isEmpty() && refusal.reason != Reason::FakesBreak)
        why += QStringLiteral(": ") + refusal.systemMessage;
    return QStringLiteral("%1 refused: %2").arg(refusal.device, why);
}

QStringList repeatedSectionLines(const QString& path)
{
    QStringList lines;
    for (const QByteArray& name : repeatedSections(path))
        lines << QStringLiteral("Data.ini: the section [%1] appears more than once; only the first "
                                "is read, so move what the later one holds into it")
                     .arg(QString::fromUtf8(name));
    return lines;
}

} // namespace tikvor
