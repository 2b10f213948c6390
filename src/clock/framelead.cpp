#include "framelead.h"

#include <algorithm>

namespace tikvor {

void FrameLead::record(qint64 spanUs)
{
    m_spans[static_cast<size_t>(m_count % Window)] = std::max<qint64>(spanUs, 0);
    ++m_count;
}

std::optional<qint64> FrameLead::lead() const
{
    if (m_count < MinSamples)
        return std::nullopt;
    const int n = std::min(m_count, Window);
    std::array<qint64, Window> sorted = m_spans;
    const auto middle = sorted.begin() + n / 2;
    std::nth_element(sorted.begin(), middle, sorted.begin() + n);
    if (n % 2 != 0)
        return *middle;
    // An even count: the mean of the two middle spans, the lower one being the largest below.
    const qint64 lower = *std::max_element(sorted.begin(), middle);
    return (lower + *middle) / 2;
}

} // namespace tikvor
