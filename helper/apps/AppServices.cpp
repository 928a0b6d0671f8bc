#include "apps/AppServices.hpp"

#include "apps/X11FrontmostAppTracker.hpp"
#include "apps/XdgAppCatalog.hpp"

namespace orvik::helper {

std::unique_ptr<AppCataloging> makeAppCatalog() {
    return std::make_unique<XdgAppCatalog>();
}

std::unique_ptr<FrontmostAppTracking> makeFrontmostAppTracker(std::function<void()> onChange) {
    return std::make_unique<X11FrontmostAppTracker>(std::move(onChange));
}

} // namespace orvik::helper
