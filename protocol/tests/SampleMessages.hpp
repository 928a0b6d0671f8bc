#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <vector>

namespace orvik::testing {

inline Uuid sampleUuid(std::uint8_t seed) {
    Uuid::Storage bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 17);
    return Uuid(bytes);
}

// At least one message of every case, with optional fields both present and absent somewhere, texts outside
// ASCII, empty and binary byte strings, and integers at the edges of their widths.
inline std::vector<OrvikMessage> sampleMessages() {
    ScreenDisplay display{69'733'382, "Built-in “Retina” Display", 1512, 982, 3024, 1964, true};
    ScreenSettings settings{
        .maxWidth = 1920, .maxHeight = 1080, .frameRate = 30, .region = NormalizedRect{0.25, 0.125, 0.5, 0.75}};
    return {
        PointerMove{-3.5f, 1e-3f, 4'294'967'295u},
        ButtonEvent{MouseButton::middle, ButtonAction::dragDown},
        ScrollEvent{0.25f, -12.0f, ScrollPhase::mayBegin, MomentumPhase::continue_},
        KeyEvent{0x24, ModifierFlags::command | ModifierFlags::shift, KeyAction::up},
        Ping{0x0123'4567'89AB'CDEFu},
        Pong{18'446'744'073'709'551'615u},
        PointerAbsolute{4'000'000'000u, 0.5f, 0.999f, 7},
        Hello{1, 1, "2.3 (41)", Capabilities::pointer | Capabilities::screenHEVC},
        HelloAck{1, 1, "1.0.0", sampleUuid(1), "Ana’s Desktop", "x86_64", Capabilities(0xFFFF'FFFF'FFFF'FFFFu),
                 "192.168.1.20:51234", Bytes(32, 0xA5)},
        HelloAck{.helperID = sampleUuid(2), .challenge = {}},
        Authenticate{sampleUuid(3), Bytes{0, 1, 2, 253, 254, 255}},
        Authenticated{"Ana’s iPhone 📱"},
        PairRequest{sampleUuid(4), "iPhone", "iPhone15,2", "2.3", PairingMethod::manualCode, Bytes(32, 7)},
        PairAccepted{Bytes(32, 0x42), sampleUuid(5), "desk", Capabilities::apps},
        ErrorMessage{ErrorCode::cancelledByApp, "already streaming", 4'294'967'295u},
        ErrorMessage{ErrorCode::appTooOld},
        TextInput{"Grüße\n\t\"quoted\" \\ ✓", TextMode::paste},
        MediaCommand{MediaKey::volumeDown},
        VolumeSet{0.3f},
        PresentationCommand{PresentationAction::whiteScreen, PresentationApp::googleSlides},
        PowerCommand{9, PowerAction::shutDown, -1},
        PowerCommand{10, PowerAction::logOut},
        AppCommand{11, "org.gnome.Calculator.desktop", AppAction::quit},
        ShortcutRun{12, "Backup"},
        SendURL{13, "https://example.org/a?b=c"},
        ClipboardSet{14, ""},
        OverlayCommand{OverlayMode::spotlight},
        CommandResult{15, ErrorCode::notFound, "no such app"},
        CommandResult{16},
        HelperStatus{BatteryStatus{0.8f, true}, VolumeStatus{0.25f, false, true}, true, "Files",
                     "org.gnome.Nautilus.desktop", 2, SleepTimerStatus{PowerAction::sleep, 90}, false, true},
        HelperStatus{},
        AppsListRequest{{17}},
        AppsList{18, {{"Files", "org.gnome.Nautilus.desktop", "43.0"}, {"Terminal", "terminal", ""}}},
        AppIconRequest{19, "firefox-esr.desktop", 128},
        AppIcon{20, "firefox-esr.desktop", "115", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}},
        RunningAppsRequest{{21}},
        RunningApps{22, {{"Files", "org.gnome.Nautilus.desktop", true}}},
        ShortcutsListRequest{{23}},
        ShortcutsList{24, {{"Backup", "Daily"}, {"Lights off"}}},
        ClipboardGet{{25}},
        ClipboardContent{26, "copied"},
        ClipboardContent{27},
        ScreenDisplaysRequest{{28}},
        ScreenDisplays{29, {display, {.id = 2, .name = "HDMI-1"}}},
        ScreenStart{69'733'382u, settings, {ScreenCodec::hevc, ScreenCodec::h264}},
        ScreenStart{.settings = {.maxWidth = 640, .maxHeight = 480, .frameRate = 60}},
        ScreenStarted{display, ScreenCodec::hevc, 30},
        ScreenConfigure{std::nullopt, settings},
        ScreenFormat{ScreenCodec::h264, 1280, 720, {Bytes{0x67, 0x42}, Bytes{0x68, 0xCE}}, NormalizedRect::full()},
        ScreenFrame{7, true, 1, 3, 123'456'789'012u, Bytes(1000, 0x5A)},
        ScreenFrameAck{4'294'967'295u, 18'446'744'073'709'551'615u},
        ScreenState{ScreenStreamState::displayUnavailable},
        RequestUpdateCheck{},
        Unpair{},
        CancelSleepTimer{},
        StatusRequest{},
        ScreenStop{},
        ScreenKeyframeRequest{},
    };
}

} // namespace orvik::testing
