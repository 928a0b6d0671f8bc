#pragma once

#include "core/UserDefaults.hpp"
#include "pairing/KeychainDeviceStore.hpp"

#include <memory>

namespace orvik::helper {

// The production device store: the Secret Service, and the key file in the helper's data folder.
std::shared_ptr<KeychainDeviceStore> standardDeviceStore(std::shared_ptr<UserDefaults> defaults);

} // namespace orvik::helper
