#include "sendframe.h"

namespace tikvor {

int SendFrame(const QString& frameBits, LineDriver& lines)
{
    const int length = static_cast<int>(frameBits.size());
    float shiftPosition = static_cast<float>(length);
    const int limit = length - 1;
    int sent = 0;
    for (float shiftCounter = 0; shiftCounter <= static_cast<float>(limit); shiftCounter += 1) {
        shiftPosition -= 1;
        if (!lines.DTR(1))
            return sent;
        const QChar c = frameBits.at(static_cast<int>(shiftPosition));
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
