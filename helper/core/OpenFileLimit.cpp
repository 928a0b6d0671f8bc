#include "core/OpenFileLimit.hpp"

#include <algorithm>

namespace orvik::helper {

bool OpenFileLimit::raise() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    // RLIM_INFINITY is the largest value, so the comparisons hold for it too.
    const rlim_t soft = std::min(limit.rlim_max, wanted);
    if (limit.rlim_cur >= soft) return true;
    limit.rlim_cur = soft;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

} // namespace orvik::helper
