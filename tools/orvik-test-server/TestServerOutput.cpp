#include "TestServerOutput.hpp"

#include "orvik/protocol/messages/CaseNames.hpp"

#include <chrono>

namespace orvik::testserver {

namespace {

using helper::MouseEventKind;
using helper::RecordedInput;
using helper::ServerEvent;
using nlohmann::json;

const char* kindName(MouseEventKind kind) {
    switch (kind) {
    case MouseEventKind::moved: return "moved";
    case MouseEventKind::down: return "down";
    case MouseEventKind::up: return "up";
    case MouseEventKind::dragged: return "dragged";
    }
    return "unknown";
}

const char* buttonName(MouseButton button) {
    switch (button) {
    case MouseButton::left: return "left";
    case MouseButton::right: return "right";
    case MouseButton::middle: return "middle";
    }
    return "unknown";
}

json devices(const std::vector<helper::ConnectedDevice>& connected) {
    json list = json::array();
    for (const auto& device : connected) {
        list.push_back({{"sessionID", device.sessionID.text()},
                        {"deviceID", device.deviceID.text()},
                        {"name", device.name},
                        {"address", device.address}});
    }
    return list;
}

json paired(const std::vector<helper::PairedDevice>& stored) {
    json list = json::array();
    for (const auto& device : stored) {
        list.push_back({{"id", device.id.text()}, {"name", device.name}, {"model", device.model}});
    }
    return list;
}

double epochSeconds(helper::Date date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

} // namespace

void TestServerOutput::line(const nlohmann::json& value) {
    std::lock_guard lock(mutex_);
    out_ << value.dump() << std::endl;
}

void TestServerOutput::input(const RecordedInput& input) {
    line(toJson(input));
}

void TestServerOutput::event(const ServerEvent& event) {
    line(toJson(event));
}

json TestServerOutput::toJson(const RecordedInput& input) {
    if (auto* mouse = std::get_if<RecordedInput::Mouse>(&input.value)) {
        return {{"input", "mouse"},
                {"kind", kindName(mouse->kind)},
                {"button", mouse->button ? json(buttonName(*mouse->button)) : json(nullptr)},
                {"x", mouse->location.x},
                {"y", mouse->location.y},
                {"clickCount", mouse->clickCount}};
    }
    if (auto* scroll = std::get_if<RecordedInput::Scroll>(&input.value)) {
        return {{"input", "scroll"},
                {"dx", scroll->dx},
                {"dy", scroll->dy},
                {"phase", static_cast<int>(scroll->phase)},
                {"momentum", static_cast<int>(scroll->momentum)}};
    }
    if (auto* key = std::get_if<RecordedInput::Key>(&input.value)) {
        return {{"input", "key"}, {"keyCode", key->keyCode}, {"isDown", key->isDown}, {"flags", key->flags.rawValue}};
    }
    if (auto* modifier = std::get_if<RecordedInput::Modifier>(&input.value)) {
        return {{"input", "modifier"}, {"keyCode", modifier->keyCode}, {"flags", modifier->flags.rawValue}};
    }
    if (auto* unicode = std::get_if<RecordedInput::Unicode>(&input.value)) {
        return {{"input", "unicode"}, {"text", unicode->text}, {"isDown", unicode->isDown}};
    }
    const auto& media = std::get<RecordedInput::Media>(input.value);
    return {{"input", "media"}, {"code", media.code}, {"isDown", media.isDown}};
}

json TestServerOutput::toJson(const ServerEvent& event) {
    if (auto* changed = event.get<ServerEvent::ListenerStatusChanged>()) {
        const auto& status = changed->status;
        if (auto port = status.readyPort()) return {{"event", "listenerStatus"}, {"status", "ready"}, {"port", *port}};
        if (auto* failed = status.get<helper::ListenerStatus::Failed>()) {
            return {{"event", "listenerStatus"}, {"status", "failed"}, {"reason", failed->reason}};
        }
        return {{"event", "listenerStatus"}, {"status", "starting"}};
    }
    if (auto* connections = event.get<ServerEvent::Connections>()) {
        return {{"event", "connections"}, {"devices", devices(connections->devices)}};
    }
    if (auto* pairing = event.get<ServerEvent::Pairing>()) {
        if (!pairing->info) return {{"event", "pairing"}, {"open", false}};
        return {{"event", "pairing"},
                {"open", true},
                {"url", pairing->info->url},
                {"manualCode", pairing->info->manualCode},
                {"expiresAt", epochSeconds(pairing->info->expiresAt)}};
    }
    if (auto* newDevice = event.get<ServerEvent::Paired>()) {
        return {{"event", "paired"}, {"device", paired({newDevice->device})[0]}};
    }
    if (auto* stored = event.get<ServerEvent::Devices>()) {
        return {{"event", "devices"}, {"devices", paired(stored->devices)}};
    }
    if (auto* paused = event.get<ServerEvent::Paused>()) return {{"event", "paused"}, {"paused", paused->paused}};
    if (auto* failed = event.get<ServerEvent::HandshakeFailed>()) {
        return {{"event", "handshakeFailed"}, {"address", failed->address}};
    }
    if (auto* stored = event.get<ServerEvent::Preferences>()) {
        const auto record = stored->preferences.encode();
        return {{"event", "preferences"}, {"preferences", json::parse(record.begin(), record.end())}};
    }
    const auto& viewers = std::get<ServerEvent::ScreenViewers>(event.value);
    return {{"event", "screenViewers"}, {"viewers", devices(viewers.viewers)}};
}

} // namespace orvik::testserver
