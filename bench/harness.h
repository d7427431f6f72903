// A small timing harness: warm-up runs, several timed samples, and their median and spread.
// Each sample times one call of the operation, or a batch of calls for operations so short that
// a single one is near the clock's resolution.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace Bench {

// Seconds per operation over all samples.
struct Summary {
    std::size_t samples = 0;
    double median = 0;
    double p25 = 0;  // the quartiles give the spread; a single outlier does not move them
    double p75 = 0;
    double min = 0;
    double max = 0;
};

// Quantiles interpolate linearly between the sorted samples. No samples give all zeros.
Summary Summarize(std::vector<double> samples);

// Half the interquartile range as a share of the median: "+-3 %" reads as 0.03.
double RelativeSpread(const Summary& summary);

struct Plan {
    int warmups = 2;
    int samples = 15;
    int batch = 1;  // operations per sample
};

// Runs `prepare` untimed before each sample and `operation` `plan.batch` times timed within it.
// An operation that fails ends the measurement: false, and the samples so far are discarded.
bool TimeSamples(const Plan& plan, const std::function<bool()>& prepare,
                 const std::function<bool()>& operation, std::vector<double>& secondsPerOperation);

// How many calls of `operation` make a sample of at least `targetSeconds` (at least one).
// Zero when the operation fails.
int CalibrateBatch(const std::function<bool()>& operation, double targetSeconds);

}  // namespace Bench
