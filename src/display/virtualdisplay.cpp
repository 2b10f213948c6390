#include "virtualdisplay.h"

#include <utility>

namespace tikvor {
namespace {

constexpr quint64 RegisterMask = (quint64(1) << FrameLength) - 1;

} // namespace

Wiring referenceWiring()
{
    Wiring w{};
    for (int c = 0; c < PatternLength; ++c)
        w[size_t(c)] = c;
    return w;
}

DisplaySegments segmentsOf(quint64 bits, const Wiring& wiring)
{
    DisplaySegments shown{};
    for (int position = 0; position < DisplayPositions; ++position) {
        // The hours' tens pattern is the last group of the frame, so it sits at the far end.
        const int first = (DisplayPositions - 1 - position) * PatternLength;
        for (int c = 0; c < PatternLength; ++c) {
            const int segment = wiring[size_t(c)];
            if (segment >= 0 && segment < SegmentCount && ((bits >> (first + c)) & 1u))
                shown[size_t(position)] |= quint8(1u << segment);
        }
    }
    return shown;
}

VirtualDisplay::VirtualDisplay(int comNumber) : m_comNumber(comNumber) {}

void VirtualDisplay::open()
{
    m_open = true;
    m_break = false;
    if (m_dtr) {
        m_dtr = false;
        clock();
    }
}

bool VirtualDisplay::DTR(int level)
{
    if (!m_open)
        return false;
    const bool high = level != 0;
    const bool falling = m_dtr && !high;
    m_dtr = high;
    if (falling)
        clock();
    return true;
}

bool VirtualDisplay::TXD(int level)
{
    if (!m_open)
        return false;
    m_break = level != 0;
    return true;
}

void VirtualDisplay::release()
{
    m_open = false;
}

void VirtualDisplay::setListener(Listener listener)
{
    const std::lock_guard lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void VirtualDisplay::clock()
{
    const quint64 before = m_bits.load(std::memory_order_relaxed);
    const quint64 after = ((before << 1) | (m_break ? 1u : 0u)) & RegisterMask;
    if (after != before)
        m_bits.store(after, std::memory_order_release);
    const std::lock_guard lock(m_listenerMutex);
    const auto edgeBefore = std::exchange(m_lastEdge, std::chrono::steady_clock::now());
    if (m_listener)
        m_listener(after, edgeBefore);
}

} // namespace tikvor
