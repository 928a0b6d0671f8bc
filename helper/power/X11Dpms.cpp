#include "power/X11Dpms.hpp"

#include "platform/X11Display.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace orvik::helper {
namespace {

class X11Dpms final : public DpmsControlling {
public:
    explicit X11Dpms(std::unique_ptr<X11Display> display) : display_(std::move(display)) {}

    std::optional<DpmsState> read() override {
        CARD16 level = 0;
        BOOL enabled = False;
        const auto errorsBefore = display_->errorCount();
        if (!DPMSInfo(display_->get(), &level, &enabled) || !display_->syncSucceeded(errorsBefore)) {
            return std::nullopt;
        }
        return DpmsState{enabled != False, level == DPMSModeOn};
    }
    bool enable() override {
        return request([this] { DPMSEnable(display_->get()); });
    }
    bool disable() override {
        return request([this] { DPMSDisable(display_->get()); });
    }
    bool forceOff() override {
        return request([this] { DPMSForceLevel(display_->get(), DPMSModeOff); });
    }

private:
    template <class Request> bool request(Request send) {
        const auto errorsBefore = display_->errorCount();
        send();
        return display_->syncSucceeded(errorsBefore);
    }

    std::unique_ptr<X11Display> display_;
};

} // namespace

std::unique_ptr<DpmsControlling> openX11Dpms() {
    auto display = X11Display::open();
    if (!display) return nullptr;
    int eventBase = 0;
    int errorBase = 0;
    if (!DPMSQueryExtension(display->get(), &eventBase, &errorBase) || !DPMSCapable(display->get())) return nullptr;
    return std::make_unique<X11Dpms>(std::move(display));
}

} // namespace orvik::helper
