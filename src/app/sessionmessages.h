#pragma once
// What the programs do with the messages Windows sends a top-level window when the session ends
// or when it is asked to close (taskkill without /F, which sends WM_CLOSE to every top-level
// window of the process). The numbers are Windows' own; the table is plain so that it is the
// same, and tested, everywhere.
//
// - WM_QUERYENDSESSION: the session may end, but another program may still cancel it: agree,
//   and go on showing the time until it really ends.
// - WM_ENDSESSION with a true wParam: it ends. Windows ends the process as soon as the message
//   is answered, so ask for the stop and answer only once the frame is whole and the lines are
//   at rest (bounded). With a false wParam the end was cancelled: nothing to do.
// - WM_CLOSE: a polite request to end, as Ctrl+C is. Never the default handling, which would
//   destroy the window and leave the program running, deaf to whatever else comes to it.

#include <cstdint>

namespace tikvor {

enum class SessionAction { Default, AllowEnd, StopAndWait, Stop };

constexpr unsigned MessageClose = 0x0010;           // WM_CLOSE
constexpr unsigned MessageQueryEndSession = 0x0011; // WM_QUERYENDSESSION
constexpr unsigned MessageEndSession = 0x0016;      // WM_ENDSESSION

constexpr SessionAction sessionAction(unsigned message, std::uintptr_t wParam)
{
    switch (message) {
    case MessageQueryEndSession:
        return SessionAction::AllowEnd;
    case MessageEndSession:
        return wParam ? SessionAction::StopAndWait : SessionAction::Default;
    case MessageClose:
        return SessionAction::Stop;
    default:
        return SessionAction::Default;
    }
}

} // namespace tikvor
