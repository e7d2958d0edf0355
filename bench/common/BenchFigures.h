#pragma once
// The figures a benchmark prints for a set of runs: the median, with the lowest and the highest
// run as the spread.

#include <algorithm>
#include <cstddef>
#include <vector>

struct Figures {
    double median = 0, low = 0, high = 0;
};

inline Figures Summarise(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return { n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.front(), values.back() };
}
