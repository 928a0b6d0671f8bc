#include "core/CoreDumps.hpp"

#include <sys/prctl.h>

namespace orvik::helper {

bool CoreDumps::disable() {
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

bool CoreDumps::areDisabled() {
    return ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
}

} // namespace orvik::helper
