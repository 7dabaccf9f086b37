#include "FrameStats.h"

#include <algorithm>

FrameStats::FrameStats(const std::vector<double>& times) : n(times.size())
{
    if (n == 0)
        return;
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    middle = n % 2 == 1 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
    // Nearest rank ceil(0.95 n), in integers so that 0.95 * 20 is 19.
    const std::size_t rank = (95 * n + 99) / 100;
    percentile95 = sorted[rank - 1];
    for (double time : sorted)
        sum += time;
    average = sum / static_cast<double>(n);
}
