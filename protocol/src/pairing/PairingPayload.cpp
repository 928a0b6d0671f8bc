#include "orvik/protocol/pairing/PairingPayload.hpp"

#include "coding/AsciiText.hpp"

#include "UrlText.hpp"
#include "orvik/protocol/coding/Base64.hpp"

#include <map>

namespace orvik {

namespace {

// The query text of a URL of the form orvik://pair?query (an empty path or "/" allowed); absent otherwise.
std::optional<std::string_view> pairingQuery(std::string_view url) {
    auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos ||
        !ascii::equalIgnoringCase(url.substr(0, schemeEnd), PairingPayload::scheme)) {
        return std::nullopt;
    }
    auto rest = url.substr(schemeEnd + 3);
    if (rest.find('#') != std::string_view::npos) return std::nullopt;
    auto queryStart = rest.find('?');
    if (queryStart == std::string_view::npos) return std::nullopt;
    auto authorityAndPath = rest.substr(0, queryStart);
    if (authorityAndPath.ends_with('/')) authorityAndPath.remove_suffix(1);
    if (!ascii::equalIgnoringCase(authorityAndPath, PairingPayload::host)) return std::nullopt;
    return rest.substr(queryStart + 1);
}

// Decoded items by name (an item without "=" has no value), or absent when an item is badly encoded or a
// name repeats.
using QueryItems = std::map<std::string, std::optional<std::string>>;

std::optional<QueryItems> queryItems(std::string_view query) {
    QueryItems items;
    while (true) {
        auto end = query.find('&');
        auto item = query.substr(0, end);
        if (!item.empty()) {
            auto equals = item.find('=');
            auto name = UrlText::percentDecoded(item.substr(0, equals));
            if (!name || items.contains(*name)) return std::nullopt;
            std::optional<std::string> value;
            if (equals != std::string_view::npos) {
                value = UrlText::percentDecoded(item.substr(equals + 1));
                if (!value) return std::nullopt;
            }
            items.emplace(std::move(*name), std::move(value));
        }
        if (end == std::string_view::npos) return items;
        query.remove_prefix(end + 1);
    }
}

std::optional<std::vector<HostPort>> addressList(std::string_view text) {
    std::vector<HostPort> addresses;
    if (text.empty()) return addresses;
    while (true) {
        auto end = text.find(',');
        auto address = HostPort::parse(text.substr(0, end));
        if (!address) return std::nullopt;
        addresses.push_back(std::move(*address));
        if (end == std::string_view::npos) return addresses;
        text.remove_prefix(end + 1);
    }
}

} // namespace

std::string PairingPayload::url() const {
    std::string addressText;
    for (const auto& address : addresses) {
        // A host that cannot be read back (one holding "," for instance) would make the whole list unreadable.
        if (HostPort::parse(address.description()) != address) continue;
        if (!addressText.empty()) addressText.push_back(',');
        addressText += address.description();
    }
    std::string out = std::string(scheme) + "://" + std::string(host) + "?";
    out += "v=" + std::to_string(version);
    out += "&h=" + UrlText::percentEncoded(helperID.text());
    out += "&n=" + UrlText::percentEncoded(UrlText::repairedUtf8(macName));
    out += "&a=" + UrlText::percentEncoded(addressText);
    out += "&s=" + UrlText::percentEncoded(Base64::encodeURLSafe(secret));
    return out;
}

std::optional<PairingPayload> PairingPayload::parse(std::string_view url) {
    auto query = pairingQuery(url);
    if (!query) return std::nullopt;
    auto items = queryItems(*query);
    if (!items) return std::nullopt;
    auto item = [&](const char* name) -> const std::string* {
        auto found = items->find(name);
        return found == items->end() || !found->second ? nullptr : &*found->second;
    };
    const auto *v = item("v"), *h = item("h"), *n = item("n"), *a = item("a"), *s = item("s");
    if (!v || !h || !n || !a || !s) return std::nullopt;
    if (*v != std::to_string(version)) return std::nullopt;
    auto helperID = Uuid::parse(*h);
    auto addresses = addressList(*a);
    auto secret = Base64::decodeURLSafe(*s);
    if (!helperID || !UrlText::isValidUtf8(*n) || !addresses || !secret || secret->size() != secretLength)
        return std::nullopt;
    return PairingPayload{*helperID, *n, std::move(*addresses), std::move(*secret)};
}

} // namespace orvik
