#include "pairing/secretservice/StandardDeviceStore.hpp"

#include "pairing/secretservice/SecretServiceVault.hpp"

namespace orvik::helper {

std::shared_ptr<KeychainDeviceStore> standardDeviceStore(std::shared_ptr<UserDefaults> defaults) {
    return std::make_shared<KeychainDeviceStore>(std::move(defaults), std::make_shared<SecretServiceVault>(),
                                                 KeyFileVault::standard());
}

} // namespace orvik::helper
