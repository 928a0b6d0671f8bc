#include "StageTimes.hpp"

#include <algorithm>

namespace orvik::bench {

void StageTimes::add(const std::string& stage, double milliseconds) {
    std::lock_guard lock(mutex_);
    auto& samples = samples_[stage];
    if (samples.empty()) order_.push_back(stage);
    samples.push_back(milliseconds);
}

std::vector<StageTimes::Summary> StageTimes::summarise() {
    std::lock_guard lock(mutex_);
    std::vector<Summary> result;
    for (const auto& stage : order_) {
        auto samples = samples_[stage];
        std::sort(samples.begin(), samples.end());
        result.push_back({stage, samples.size(), percentile(samples, 0.5), percentile(samples, 0.95)});
    }
    return result;
}

double StageTimes::percentile(std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

} // namespace orvik::bench
