#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/pairing/HostPort.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvik::phone {

// Process exit codes; part of the tool's interface (end-to-end tests read them).
enum class ExitCode : int {
    success = 0,          // everything sent; the wait ended or the helper closed afterwards
    usage = 1,            // bad command line
    connectionFailed = 2, // no TCP connection or no TLS session (a wrong key ends here)
    handshakeRefused = 3, // the helper answered the handshake with `error`, or closed during it
    connectionLost = 4,   // after the handshake: a send failed, or the helper closed before all was sent
    badInput = 5,         // a message on standard input was not valid JSON of a message
    untilTimedOut = 6,    // --until types had not all arrived when the wait ended
};

// What --view asks of the helper and how the tool behaves as a viewer.
struct ViewOptions {
    // Absent: the main display.
    std::optional<std::uint32_t> displayID;
    ScreenSettings settings{1280, 720, 30, std::nullopt};
    std::vector<ScreenCodec> codecs{ScreenCodec::h264};
    // The elementary stream (Annex B, parameter sets before each keyframe); empty: not written.
    std::string outputPath;
    // Viewing ends after this many complete frames (0: no count) or this long, whichever comes first.
    std::uint32_t frames = 0;
    std::chrono::milliseconds duration{10000};
    std::chrono::milliseconds ackDelay{0};
    bool acks = true;
};

struct PhoneOptions {
    // How the TLS key is chosen and what the handshake does after `hello`.
    enum class Mode { authenticate, pairWithURL, pairWithCode };
    // How far the tool takes the handshake before sending the messages it was given.
    enum class Handshake { full, helloOnly, none };

    Mode mode = Mode::authenticate;
    Handshake handshake = Handshake::full;
    std::optional<HostPort> address;
    // Authenticate: the paired device's identifier and 32-byte key.
    Uuid deviceID;
    Bytes deviceKey;
    std::optional<PairingPayload> pairing;
    std::optional<ManualPairingCode> code;
    std::string deviceName = "orvik-phone";
    std::string deviceModel = "orvik-phone";
    std::string appVersion = "1.0";
    std::uint16_t protocolVersion;
    std::uint16_t minimumVersion;
    bool wrongProof = false;
    bool reconnect = false;
    std::vector<OrvikMessage> messages;
    // Sent as they are after `messages`: payloads this build would not encode (an unknown enumeration value).
    std::vector<Frame> frames;
    bool readStandardInput = false;
    std::vector<MessageType> until;
    std::chrono::milliseconds wait{1000};
    std::chrono::milliseconds timeout{5000};
    // Authenticate: how many times in a row to connect, do all of the above and close.
    std::uint32_t repeat = 1;
    std::optional<ViewOptions> view;
    bool quiet = false;
    bool help = false;

    PhoneOptions();
};

// The options, or the text of what is wrong with them.
std::variant<PhoneOptions, std::string> parseOptions(const std::vector<std::string_view>& arguments);

// A 32-byte key written as 64 hexadecimal digits, standard Base64 or URL-safe Base64.
std::optional<Bytes> parseKey(std::string_view text);

std::string usageText();

} // namespace orvik::phone
