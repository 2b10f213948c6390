#pragma once
// tikvor-display --test: instead of the time, each of the 48 bits alone for a second, in the
// order they are shifted out, what it drives on the output channel; then every segment lit for
// a second; then the link stops (status 0).
//
// Contract: the steps follow the link's second timer and begin once a port is in use, so that no
// step goes unseen. The link must not send the time (LinkOptions::sendsTime off); each step's
// frame goes out whole through sendFrameWhole.

#include "link/displaylink.h"

#include <functional>

namespace tikvor {

class WiringTest final : public QObject {
    Q_OBJECT
public:
    WiringTest(DisplayLink& link, std::function<void(const QString&)> output,
               QObject* parent = nullptr);

    // The frame for step k (1..48: bit k alone; 49: every segment lit) and what it shows.
    static QString frame(int step);
    static QString text(int step);

private:
    void step();

    DisplayLink& m_link;
    std::function<void(const QString&)> m_output;
    int m_step = 0;
};

} // namespace tikvor
