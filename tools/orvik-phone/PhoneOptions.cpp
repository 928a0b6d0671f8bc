#include "PhoneOptions.hpp"

#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/ProtocolVersion.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <charconv>
#include <functional>
#include <map>

namespace orvik::phone {

namespace {

constexpr std::size_t keyLength = OrvikKeys::deviceKeyLength;

std::optional<Bytes> parseHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint8_t value = 0;
        auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (error != std::errc() || end != text.data() + i + 2) return std::nullopt;
        out.push_back(value);
    }
    return out;
}

template <class T> std::optional<T> parseNumber(std::string_view text) {
    T value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::string> takeViewOption(ViewOptions& view, std::string_view option, std::string_view value) {
    const std::string name(option);
    if (option == "--view") {
        if (value != "main") {
            view.displayID = parseNumber<std::uint32_t>(value);
            if (!view.displayID) return name + ": expected a display id or main";
        }
    } else if (option == "--view-size") {
        const auto x = value.find('x');
        auto width = parseNumber<std::int64_t>(value.substr(0, x));
        auto height = x == std::string_view::npos ? std::nullopt : parseNumber<std::int64_t>(value.substr(x + 1));
        if (!width || !height) return name + ": expected WIDTHxHEIGHT";
        view.settings.maxWidth = *width;
        view.settings.maxHeight = *height;
    } else if (option == "--view-fps") {
        auto rate = parseNumber<std::int64_t>(value);
        if (!rate) return name + ": expected a number";
        view.settings.frameRate = *rate;
    } else if (option == "--view-codecs") {
        view.codecs.clear();
        for (std::size_t at = 0; at <= value.size();) {
            const auto comma = std::min(value.find(',', at), value.size());
            auto codec = caseNamed<ScreenCodec>(value.substr(at, comma - at));
            if (!codec) return name + ": expected h264 and/or hevc, comma-separated";
            view.codecs.push_back(*codec);
            at = comma + 1;
        }
    } else if (option == "--view-output") {
        view.outputPath = value;
    } else if (option == "--view-frames" || option == "--view-ms" || option == "--ack-delay-ms") {
        auto number = parseNumber<std::uint32_t>(value);
        if (!number) return name + ": expected a number";
        if (option == "--view-frames") view.frames = *number;
        if (option == "--view-ms") view.duration = std::chrono::milliseconds(*number);
        if (option == "--ack-delay-ms") view.ackDelay = std::chrono::milliseconds(*number);
    } else {
        return "unknown option " + name;
    }
    return std::nullopt;
}

struct Parser {
    PhoneOptions options;
    std::optional<Uuid> identity;
    std::optional<Bytes> key;
    std::optional<Uuid> pairingDeviceID;
    bool viewGiven = false;

    // Returns an error text, or nothing.
    std::optional<std::string> take(std::string_view option, std::string_view value);
    std::optional<std::string> finish();
};

std::optional<std::string> Parser::take(std::string_view option, std::string_view value) {
    const std::string name(option);
    if (option == "--connect") {
        options.address = HostPort::parse(value);
        if (!options.address) return name + ": expected HOST:PORT";
    } else if (option == "--identity") {
        identity = Uuid::parse(value);
        if (!identity) return name + ": expected a UUID";
    } else if (option == "--key") {
        key = parseKey(value);
        if (!key) return name + ": expected 32 bytes as hex or Base64";
    } else if (option == "--pair-url") {
        options.pairing = PairingPayload::parse(value);
        if (!options.pairing) return name + ": not a pairing URL";
    } else if (option == "--pair-code") {
        options.code = ManualPairingCode::parse(value);
        if (!options.code) return name + ": not a valid manual pairing code";
    } else if (option == "--device-id") {
        pairingDeviceID = Uuid::parse(value);
        if (!pairingDeviceID) return name + ": expected a UUID";
    } else if (option == "--device-name") {
        options.deviceName = value;
    } else if (option == "--device-model") {
        options.deviceModel = value;
    } else if (option == "--app-version") {
        options.appVersion = value;
    } else if (option == "--protocol-version" || option == "--minimum-version") {
        auto number = parseNumber<std::uint16_t>(value);
        if (!number) return name + ": expected a number from 0 to 65535";
        (option == "--protocol-version" ? options.protocolVersion : options.minimumVersion) = *number;
    } else if (option == "--handshake") {
        if (value == "full") {
            options.handshake = PhoneOptions::Handshake::full;
        } else if (value == "hello") {
            options.handshake = PhoneOptions::Handshake::helloOnly;
        } else if (value == "none") {
            options.handshake = PhoneOptions::Handshake::none;
        } else {
            return name + ": expected full, hello or none";
        }
    } else if (option == "--send") {
        try {
            options.messages.push_back(messageFromJson(nlohmann::json::parse(value)));
        } catch (const std::exception& error) {
            return name + ": " + error.what();
        }
    } else if (option == "--send-frame") {
        const auto colon = value.find(':');
        auto type = parseNumber<std::uint16_t>(value.substr(0, colon));
        if (!type || colon == std::string_view::npos) return name + ": expected TYPE:PAYLOAD";
        const auto payload = value.substr(colon + 1);
        options.frames.push_back(Frame{*type, 0, Bytes(payload.begin(), payload.end())});
    } else if (option == "--until") {
        auto type = messageTypeNamed(value);
        if (!type) return name + ": no message type \"" + std::string(value) + "\"";
        options.until.push_back(*type);
    } else if (option == "--repeat") {
        auto number = parseNumber<std::uint32_t>(value);
        if (!number || *number == 0) return name + ": expected a count from 1";
        options.repeat = *number;
    } else if (option == "--wait-ms" || option == "--timeout-ms") {
        auto number = parseNumber<std::uint32_t>(value);
        if (!number) return name + ": expected milliseconds";
        (option == "--wait-ms" ? options.wait : options.timeout) = std::chrono::milliseconds(*number);
    } else if (option.starts_with("--view") || option == "--ack-delay-ms") {
        if (!options.view) options.view.emplace();
        viewGiven = viewGiven || option == "--view";
        return takeViewOption(*options.view, option, value);
    } else {
        return "unknown option " + name;
    }
    return std::nullopt;
}

std::optional<std::string> Parser::finish() {
    int ways =
        int(identity.has_value() || key.has_value()) + int(options.pairing.has_value()) + int(options.code.has_value());
    if (ways != 1) return "give exactly one of --identity with --key, --pair-url, --pair-code";
    if (identity || key) {
        if (!identity || !key) return "--identity and --key go together";
        options.mode = PhoneOptions::Mode::authenticate;
        options.deviceID = *identity;
        options.deviceKey = *key;
        if (pairingDeviceID) return "--device-id is for pairing; --identity names the device";
        if (options.reconnect) return "--reconnect is for pairing";
    } else {
        options.mode = options.pairing ? PhoneOptions::Mode::pairWithURL : PhoneOptions::Mode::pairWithCode;
        options.deviceID = pairingDeviceID ? *pairingDeviceID : Uuid::random();
    }
    if (!options.address) {
        if (options.mode != PhoneOptions::Mode::pairWithURL) return "--connect HOST:PORT is needed";
        if (options.pairing->addresses.empty()) return "the pairing URL has no address; give --connect";
    }
    bool pairsFully =
        options.mode != PhoneOptions::Mode::authenticate && options.handshake == PhoneOptions::Handshake::full;
    if (options.view && !viewGiven) return "the viewing options need --view";
    if (options.view && options.mode != PhoneOptions::Mode::authenticate) {
        // Viewing needs an authenticated session: after pairing, the tool connects again with the new key.
        if (!pairsFully) return "--view needs --identity and --key, or a full pairing";
        options.reconnect = true;
    }
    const bool sends = !options.messages.empty() || !options.frames.empty() || options.readStandardInput;
    if (pairsFully && !options.reconnect && sends) {
        return "the helper closes the pairing connection: add --reconnect to send messages after pairing";
    }
    if (options.reconnect && !pairsFully) return "--reconnect needs a full pairing handshake";
    if (options.repeat > 1 &&
        (options.mode != PhoneOptions::Mode::authenticate || options.readStandardInput || options.view)) {
        return "--repeat needs --identity and --key, and neither --stdin nor --view";
    }
    return std::nullopt;
}

} // namespace

PhoneOptions::PhoneOptions()
    : protocolVersion(ProtocolVersion::current), minimumVersion(ProtocolVersion::minimumSupported) {}

std::optional<Bytes> parseKey(std::string_view text) {
    for (auto decoded : {parseHex(text), Base64::decode(text), Base64::decodeURLSafe(text)}) {
        if (decoded && decoded->size() == keyLength) return decoded;
    }
    return std::nullopt;
}

std::variant<PhoneOptions, std::string> parseOptions(const std::vector<std::string_view>& arguments) {
    Parser parser;
    const std::map<std::string_view, std::function<void()>> flags{
        {"--help", [&] { parser.options.help = true; }},
        {"--quiet", [&] { parser.options.quiet = true; }},
        {"--stdin", [&] { parser.options.readStandardInput = true; }},
        {"--wrong-proof", [&] { parser.options.wrongProof = true; }},
        {"--reconnect", [&] { parser.options.reconnect = true; }},
        {"--no-acks",
         [&] {
             if (!parser.options.view) parser.options.view.emplace();
             parser.options.view->acks = false;
         }},
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto argument = arguments[i];
        if (auto flag = flags.find(argument); flag != flags.end()) {
            flag->second();
            continue;
        }
        if (i + 1 >= arguments.size()) {
            return std::string(argument.starts_with("--") ? "missing value for " : "unexpected argument ") +
                   std::string(argument);
        }
        if (auto error = parser.take(argument, arguments[++i])) return *error;
    }
    if (parser.options.help) return parser.options;
    if (auto error = parser.finish()) return *error;
    return parser.options;
}

std::string usageText() {
    return R"(usage: orvik-phone [options]

A command-line phone: connects to an Orvik helper over TLS with a pre-shared key, runs the handshake,
sends messages and prints every message it receives as one JSON line on standard output.

How to connect (exactly one):
  --identity UUID --key KEY   as a paired device (KEY: its 32-byte device key, hex or Base64)
  --pair-url URL              pair through the QR code's URL (orvik://pair?...)
  --pair-code CODE            pair through the 25-symbol manual code (needs --connect)

Options:
  --connect HOST:PORT         the helper's address (default for --pair-url: the URL's addresses in turn)
  --device-id UUID            the new device's identifier when pairing (default: random)
  --device-name NAME          name sent when pairing (default "orvik-phone")
  --device-model MODEL        model sent when pairing (default "orvik-phone")
  --app-version TEXT          app version sent in hello and pairRequest (default "1.0")
  --protocol-version N        protocol version sent in hello (default: this build's)
  --minimum-version N         oldest version accepted, sent in hello (default: this build's)
  --handshake full|hello|none full: hello then authenticate or pairRequest (default); hello: stop after
                              helloAck; none: send nothing before the given messages
  --wrong-proof               corrupt the proof of authenticate or pairRequest (to test refusals)
  --reconnect                 after pairing, connect again with the new key and authenticate
  --send JSON                 a message to send after the handshake, e.g.
                              '{"type":"text","payload":{"text":"hi","mode":"type"}}' (repeatable)
  --send-frame TYPE:PAYLOAD   a frame of this type code with this payload text, sent as it is after the
                              --send messages (repeatable)
  --stdin                     also send each line of standard input as a message (JSON, as --send)
  --until TYPE                after sending, wait until a message of this type arrived (repeatable)
  --wait-ms N                 how long to wait for replies after the last send (default 1000)
  --timeout-ms N              time limit for connecting (a refused connect is tried again meanwhile) and for
                              TLS (default 5000)
  --quiet                     print received messages and the "paired" event only
  --repeat N                  with --identity and --key: connect, do the above and close N times in a row,
                              stopping at the first failure (a phone that comes and goes)

Viewing the screen (after authenticating; each frame is acknowledged as a phone would):
  --view DISPLAY              ask for the displays, then view this one (an id, or main); with --pair-url or
                              --pair-code the tool pairs, connects again with the new key and views
  --view-size WxH             the largest picture wanted, in pixels (default 1280x720)
  --view-fps N                frames per second asked for (default 30)
  --view-codecs LIST          codecs in order of preference, comma-separated (default h264)
  --view-output FILE          write the video as an elementary stream (Annex B) that ffplay/ffprobe open
  --view-frames N             stop viewing (screenStop) after N complete frames
  --view-ms N                 stop viewing after N ms (default 10000)
  --ack-delay-ms N            acknowledge each frame N ms after it is complete (default at once)
  --no-acks                   never acknowledge (the helper stops after three frames)
  --help                      this text

Output (standard output, one JSON object per line):
  {"type":"<message>","payload":{...}}          every message received
  {"event":"undecodable","code":N,"error":"…"}  a frame that did not decode
  {"event":"paired","deviceID":"…","deviceKey":"<Base64>","deviceKeyHex":"…","helperID":"…"}
  {"event":"frame","sequence":N,"keyframe":B,"bytes":N,"fragments":N}   a complete frame (with --view;
                                                 its screenFrame fragments are not printed)
  {"event":"viewEnded","frames":N,"keyframes":N,"bytes":N,"gaps":N}
  {"event":"connected",...}, {"event":"closed",...}, {"event":"failed",...}  (not with --quiet)
Diagnostics go to standard error.

Exit codes:
  0 success   1 usage   2 connection or TLS failed   3 handshake refused   4 connection lost
  5 bad message on standard input   6 --until types did not all arrive in time
)";
}

} // namespace orvik::phone
