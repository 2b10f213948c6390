#include "sendframe.h"

namespace tikvor {

int SendFrame(ClockState& state, LineDriver& lines)
{
    const int length = static_cast<int>(state.FrameBits.size());
    state.ShiftPosition = static_cast<float>(length);
    const int limit = length - 1;
    int sent = 0;
    for (state.ShiftCounter = 0; state.ShiftCounter <= static_cast<float>(limit);
         state.ShiftCounter += 1) {
        state.ShiftPosition -= 1;
        if (!lines.DTR(1))
            return sent;
        const QChar c = state.FrameBits.at(static_cast<int>(state.ShiftPosition));
        if (c.unicode() < '0' || c.unicode() > '9')
            return sent;
        if (!lines.TXD(c.unicode() - '0'))
            return sent;
        if (!lines.DTR(0))
            return sent;
        ++sent;
    }
    return sent;
}

} // namespace tikvor
