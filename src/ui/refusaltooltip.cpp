#include "refusaltooltip.h"

#include <QDir>
#include <QLocale>

namespace tikvor {

QString refusalTooltip(const PortRefusal& refusal)
{
    using Reason = PortRefusal::Reason;
    const QString device = QDir::toNativeSeparators(refusal.device);
    switch (refusal.reason) {
    case Reason::Missing:
        return QStringLiteral("Zařízení %1 neexistuje nebo není připojeno.").arg(device);
    case Reason::Busy:
        if (refusal.holderPid != 0)
            return QStringLiteral("Zařízení %1 používá jiný program (proces %2).")
                .arg(device)
                .arg(refusal.holderPid);
        if (refusal.exclusiveByOther)
            return QStringLiteral("Zařízení %1 si vyhradil jiný program.").arg(device);
        return QStringLiteral("Zařízení %1 používá jiný program.").arg(device);
    case Reason::PermissionDenied:
        if (refusal.byPolicy)
            return QStringLiteral("K zařízení %1 nemáte přístup, ačkoli jeho vlastník, skupina a "
                                  "práva ho dovolují: brání tomu pravidlo systému.")
                .arg(device);
        if (!refusal.group.isEmpty())
            return QStringLiteral("K zařízení %1 nemáte přístup. Přidejte se do skupiny %2 a "
                                  "přihlaste se znovu.")
                .arg(device, refusal.group);
        if (!refusal.owner.isEmpty())
            return QStringLiteral("K zařízení %1 nemáte přístup: otevřít ho smí jen jeho vlastník "
                                  "%2. Pomůže pravidlo udev nebo změna práv zařízení.")
                .arg(device, refusal.owner);
        return QStringLiteral("K zařízení %1 nemáte přístup.").arg(device);
    case Reason::NotSerialLine:
        return QStringLiteral("%1 není sériový port.").arg(device);
    case Reason::NoModemLines:
        return QStringLiteral("Zařízení %1 neumí ovládat linky DTR a TXD.").arg(device);
    case Reason::FakesBreak: {
        const QLocale czech(QLocale::Czech, QLocale::Czechia);
        return QStringLiteral("Převodník %1 signál break jen napodobuje: zapnutí a vypnutí trvalo "
                              "%2 ms (nejvýše %3 ms). Displej by byl příliš pomalý.")
            .arg(device, czech.toString(refusal.breakMs, 'f', 1), czech.toString(BreakLimitMs));
    }
    case Reason::SystemConsole:
        return QStringLiteral("Zařízení %1 je systémová konzole, program ho nepoužije.")
            .arg(device);
    case Reason::Failed:
        if (!refusal.systemMessage.isEmpty())
            return QStringLiteral("Zařízení %1 nelze otevřít: %2")
                .arg(device, refusal.systemMessage);
        return QStringLiteral("Zařízení %1 nelze otevřít.").arg(device);
    }
    return {};
}

} // namespace tikvor
