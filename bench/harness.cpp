#include "harness.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace Bench {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Quantile(const std::vector<double>& sorted, double q) {
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto lower = static_cast<std::size_t>(std::floor(position));
    const std::size_t upper = std::min(lower + 1, sorted.size() - 1);
    const double fraction = position - static_cast<double>(lower);
    return sorted[lower] + (sorted[upper] - sorted[lower]) * fraction;
}

bool RunTimed(const Plan& plan, const std::function<bool()>& prepare,
              const std::function<bool()>& operation, double& seconds) {
    if (!prepare()) {
        return false;
    }
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < plan.batch; ++i) {
        if (!operation()) {
            return false;
        }
    }
    seconds = SecondsSince(start) / plan.batch;
    return true;
}

}  // namespace

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    summary.samples = samples.size();
    summary.median = Quantile(samples, 0.5);
    summary.p25 = Quantile(samples, 0.25);
    summary.p75 = Quantile(samples, 0.75);
    summary.min = samples.front();
    summary.max = samples.back();
    return summary;
}

double RelativeSpread(const Summary& summary) {
    return summary.median > 0 ? (summary.p75 - summary.p25) / 2 / summary.median : 0;
}

bool TimeSamples(const Plan& plan, const std::function<bool()>& prepare,
                 const std::function<bool()>& operation, std::vector<double>& secondsPerOperation) {
    secondsPerOperation.clear();
    if (plan.batch < 1) {
        return false;
    }
    double seconds = 0;
    for (int i = 0; i < plan.warmups; ++i) {
        if (!RunTimed(plan, prepare, operation, seconds)) {
            return false;
        }
    }
    for (int i = 0; i < plan.samples; ++i) {
        if (!RunTimed(plan, prepare, operation, seconds)) {
            secondsPerOperation.clear();
            return false;
        }
        secondsPerOperation.push_back(seconds);
    }
    return true;
}

int CalibrateBatch(const std::function<bool()>& operation, double targetSeconds) {
    int batch = 0;
    const Clock::time_point start = Clock::now();
    do {
        if (!operation()) {
            return 0;
        }
        ++batch;
    } while (SecondsSince(start) < targetSeconds);
    return batch;
}

}  // namespace Bench
