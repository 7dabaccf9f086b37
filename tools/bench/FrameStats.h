#pragma once

#include <cstddef>
#include <vector>

// Summary of a series of times (milliseconds): median, 95th percentile
// (nearest rank: the smallest value that at least 95 % of the series do not
// exceed), mean and count. An empty series gives count 0 and zeros.
class FrameStats {
public:
    explicit FrameStats(const std::vector<double>& times);

    std::size_t count() const { return n; }
    double median() const { return middle; }
    double p95() const { return percentile95; }
    double mean() const { return average; }
    double total() const { return sum; }

private:
    std::size_t n = 0;
    double middle = 0.0;
    double percentile95 = 0.0;
    double average = 0.0;
    double sum = 0.0;
};
