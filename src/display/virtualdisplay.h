#pragma once
// An emulated display that stands where a serial device stands (`COMn=virtual`), so the clock's
// main job can be seen on a machine without an adapter.
//
// Contract:
// - open() makes it driven, and it is never busy or refused; opening it again is harmless. It
//   puts the lines at rest like a device: break off, DTR released (a release from high clocks
//   one bit, as it would on the hardware).
// - DTR and TXD return false until open() and after release(); otherwise they take the level and
//   return true. Inversion settings play no part: levels are logical.
// - The hardware: a 48-bit shift register. Each falling DTR edge moves every bit one place on
//   and takes the break level (TXD) into the first place; the last bit drops out. There is no
//   latch: the segments follow the register at every edge, so a frame cut short shows what the
//   real display would, the old picture moved on by the bits that arrived.
// - After a whole frame, bit i of bits() holds character i+1 of the frame (the shift-out sends
//   the last character first). bits() may be read from any thread.
// - open, DTR, TXD and release belong to the thread that drives the lines, as on a device.
// - The listener runs on the thread that drives the lines, after each falling DTR edge (also
//   one that left the register as it was, so that a front end can count the edges of a frame);
//   it must be quick (a front end only notes that a repaint is due). setListener may be called
//   from any thread; once it returns, the previous listener is no longer running. It is told
//   when the edge before came (the epoch of steady_clock for the first), heard or not, so that
//   a front end that counts edges knows whether it began in the middle of a frame.

#include "clock/frame.h"
#include "clock/linedriver.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

namespace tikvor {

inline constexpr int DisplayPositions = 6;
inline constexpr int SegmentCount = 8; // a to g, then the dot
inline constexpr int DotSegment = 7;

// Lit segments of one position: bit s for segment s (0 = a ... 6 = g, 7 = the dot).
using DisplaySegments = std::array<quint8, DisplayPositions>; // left to right, hours tens first

// The segment each character of a position's 8-character pattern drives (0..6 = a..g,
// DotSegment), or -1 for a character wired to nothing.
using Wiring = std::array<int, PatternLength>;

// Characters 1 to 7 drive segments a to g, character 8 the dot: the sample Data.ini's wiring.
Wiring referenceWiring();

// What a display wired as given shows for a register content.
DisplaySegments segmentsOf(quint64 bits, const Wiring& wiring = referenceWiring());

class VirtualDisplay final : public LineDriver {
public:
    using Listener =
        std::function<void(quint64 bits, std::chrono::steady_clock::time_point edgeBefore)>;

    explicit VirtualDisplay(int comNumber);
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    void open();
    bool DTR(int level) override;
    bool TXD(int level) override;

    // Another port is in use: the lines are no longer driven. What shows stays.
    void release();

    int comNumber() const { return m_comNumber; }
    quint64 bits() const { return m_bits.load(std::memory_order_acquire); }
    void setListener(Listener listener);

private:
    void clock();

    const int m_comNumber;
    bool m_open = false;
    bool m_dtr = false;
    bool m_break = false;
    std::atomic<quint64> m_bits{0};
    std::mutex m_listenerMutex;
    Listener m_listener;
    std::chrono::steady_clock::time_point m_lastEdge; // under m_listenerMutex
};

} // namespace tikvor
