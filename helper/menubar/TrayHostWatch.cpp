#include "menubar/TrayHostWatch.hpp"

namespace orvik::helper {

TrayHostWatch::~TrayHostWatch() = default;

} // namespace orvik::helper
