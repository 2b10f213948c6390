#pragma once
// Why a device was not opened, as data: the front ends word it (English on standard error, the
// greyed button's tooltip in Czech).

#include <QString>

namespace tikvor {

struct PortRefusal {
    enum class Reason {
        Missing,          // no such device (or no hardware behind the node)
        Busy,             // held by another program
        PermissionDenied, // we may not open it
        NotSerialLine,    // a file, a pipe, a terminal without serial settings
        NoModemLines,     // DTR or break cannot be driven
        FakesBreak,       // break on and off too slow: an adapter that emulates it
        SystemConsole,    // where kernel messages go, never driven
        Failed,           // the system refused for another reason, given in systemMessage
    };
    Reason reason = Reason::Missing;
    QString device;
    double breakMs = 0;            // FakesBreak: the best of the timings
    qint64 holderPid = 0;          // Busy: the process a UUCP lock file names, 0 when none
    QString lockFile;              // Busy: that lock file
    bool exclusiveByOther = false; // Busy: another program set the exclusive flag
    QString group;                 // PermissionDenied: the group whose members may use it,
                                   // where joining it would help
    QString owner;                 // PermissionDenied: the user whom alone the mode lets in,
                                   // where no group would help
    bool byPolicy = false;         // PermissionDenied: the device's owner, group and mode let
                                   // us in; a rule of the system refuses (a service's device
                                   // list, a security module)
    QString systemMessage;         // the system's own words, where it gave some

    // Refused for a reason that holds until the device node changes.
    bool lasts() const;
};

// Break on and off together may take this long on a line that really breaks.
inline constexpr int BreakLimitMs = 20;

} // namespace tikvor
