#include "ScreenBackend.hpp"

#include "screen/SyntheticCaptureSource.hpp"
#include "screen/ffmpeg/ProductionScreenServices.hpp"
#include "screen/x11/X11CaptureSource.hpp"

namespace orvik::testserver {

using namespace orvik::helper;

ScreenBackend::Parsed ScreenBackend::parse(std::string_view argument, const NextValue& next) {
    if (argument == "--screen") {
        const auto value = next();
        if (value == "synthetic")
            source_ = Source::synthetic;
        else if (value == "x11")
            source_ = Source::x11;
        else
            return Parsed::bad;
        return Parsed::taken;
    }
    if (argument != "--screen-approval") return Parsed::notMine;
    const auto value = next();
    if (value == "once") {
        answer_ = ScreenViewingDecision::allowOnce;
    } else if (value == "always") {
        answer_ = ScreenViewingDecision::alwaysAllow;
    } else if (value == "deny") {
        answer_ = ScreenViewingDecision::deny;
    } else if (value == "never") {
        answer_.reset();
    } else {
        return Parsed::bad;
    }
    return Parsed::taken;
}

std::shared_ptr<const ScreenServices> ScreenBackend::services() const {
    if (!source_) return nullptr;
    ScreenServicesParts parts;
    if (source_ == Source::x11) {
        parts.canCapture = x11CaptureAvailable;
        parts.makeSource = makeX11CaptureSource;
    } else {
        parts.canCapture = [] { return true; };
        parts.makeSource = [] { return std::make_shared<SyntheticCaptureSource>(); };
    }
    parts.approve = [answer = answer_](ScreenViewingRequest, std::function<void(ScreenViewingDecision)> done) {
        // Never answered: the question stays open, as with a person who walked away.
        if (answer) done(*answer);
    };
    auto services = std::make_shared<ScreenServices>(*makeScreenServices(std::move(parts)));
    services->makeStream = [make = services->makeStream, streams = streams_](auto source, auto send, auto onFailure) {
        auto stream = make(std::move(source), std::move(send), std::move(onFailure));
        std::lock_guard lock(streams->mutex);
        std::erase_if(streams->made, [](const auto& made) { return made.expired(); });
        streams->made.push_back(stream);
        return stream;
    };
    return services;
}

std::vector<int> ScreenBackend::bitRates() const {
    std::lock_guard lock(streams_->mutex);
    std::vector<int> rates;
    for (const auto& made : streams_->made) {
        if (auto stream = made.lock()) rates.push_back(stream->currentBitRate());
    }
    return rates;
}

} // namespace orvik::testserver
