#include "framelead.h"

#include "clock/frame.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace tikvor {

namespace {

// The median of the first n values (reordered); of an even count the mean of the middle two.
double median(double* values, int n)
{
    double* middle = values + n / 2;
    std::nth_element(values, middle, values + n);
    if (n % 2 != 0)
        return *middle;
    return (*std::max_element(values, middle) + *middle) / 2;
}

} // namespace

void FrameLead::record(qint64 spanUs, int changes)
{
    m_spans[static_cast<size_t>(m_count % Window)] = {std::max<qint64>(spanUs, 0), changes};
    ++m_count;
}

void FrameLead::reset(std::optional<qint64> changeUs)
{
    if (changeUs)
        m_guess = double(*changeUs);
    else if (const std::optional<double> r = rate())
        m_guess = r;
    m_count = 0;
}

std::optional<double> FrameLead::rate() const
{
    if (m_count == 0)
        return m_guess;
    double lowest = -1;
    for (int i = 0; i < std::min(m_count, Window); ++i) {
        const Span& s = m_spans[static_cast<size_t>(i)];
        const double r = double(s.us) / double(2 * FrameLength + s.changes);
        lowest = lowest < 0 ? r : std::min(lowest, r);
    }
    return lowest;
}

std::optional<qint64> FrameLead::lead(int changes) const
{
    if (m_count < MinSamples) {
        const std::optional<double> r = rate();
        if (!r)
            return std::nullopt;
        return std::llround(*r * double(2 * FrameLength + changes));
    }
    const int n = std::min(m_count, Window);
    std::array<double, Window*(Window - 1) / 2> slopes{};
    int pairs = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const Span& a = m_spans[static_cast<size_t>(i)];
            const Span& b = m_spans[static_cast<size_t>(j)];
            if (a.changes != b.changes)
                slopes[static_cast<size_t>(pairs++)] =
                    double(b.us - a.us) / double(b.changes - a.changes);
        }
    }
    const double slope = pairs > 0 ? median(slopes.data(), pairs) : 0.0;
    std::array<double, Window> levels{};
    for (int i = 0; i < n; ++i) {
        const Span& s = m_spans[static_cast<size_t>(i)];
        levels[static_cast<size_t>(i)] = double(s.us) - slope * s.changes;
    }
    const double span = median(levels.data(), n) + slope * changes;
    return std::max<qint64>(0, std::llround(span));
}

int txdChanges(const QString& frame, std::optional<int> level)
{
    int changes = 0;
    for (qsizetype i = frame.size() - 1; i >= 0; --i) {
        const int next = frame[i].unicode() - u'0';
        changes += level != next ? 1 : 0;
        level = next;
    }
    return changes;
}

} // namespace tikvor
