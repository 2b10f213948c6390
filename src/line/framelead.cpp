#include "framelead.h"

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

std::optional<qint64> FrameLead::lead(int changes) const
{
    if (m_count < MinSamples)
        return std::nullopt;
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
