#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orvik::bench {

// Milliseconds per frame of each pipeline stage, recorded from any thread, summarised as percentiles.
class StageTimes {
public:
    void add(const std::string& stage, double milliseconds);
    // Stages in the order they were first recorded, each with its p50 and p95.
    struct Summary {
        std::string stage;
        std::size_t count = 0;
        double p50 = 0;
        double p95 = 0;
    };
    std::vector<Summary> summarise();

private:
    static double percentile(std::vector<double>& sorted, double fraction);

    std::mutex mutex_;
    std::vector<std::string> order_;
    std::map<std::string, std::vector<double>> samples_;
};

} // namespace orvik::bench
