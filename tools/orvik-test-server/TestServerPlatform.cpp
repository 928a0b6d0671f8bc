#include "TestServerPlatform.hpp"

#include "PrintingSink.hpp"

#include "clipboard/FakePasteboard.hpp"
#include "clipboard/x11/SystemPasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "permissions/x11/SessionPermissions.hpp"

namespace orvik::testserver {

TestServerPlatform TestServerPlatform::recording(TestServerOutput& output) {
    return {std::make_shared<PrintingSink>(output), std::make_shared<helper::FakePasteboard>(), nullptr,
            helper::HelperServices::defaultCanPostEvents()};
}

TestServerPlatform TestServerPlatform::desktop() {
    auto permission = std::make_shared<helper::PostEventPermission>(
        helper::sessionPostEventPermission(std::make_shared<helper::InMemoryUserDefaults>()));
    auto clipboard = std::make_shared<helper::SystemPasteboard>();
    auto primarySelection = clipboard->primarySelection();
    return {std::make_shared<helper::CGEventSink>(helper::CGEventSink::systemDoubleClickInterval()),
            std::move(clipboard), std::move(primarySelection), [permission] { return permission->isGranted(); }};
}

} // namespace orvik::testserver
