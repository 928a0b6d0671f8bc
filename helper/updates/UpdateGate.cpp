#include "updates/UpdateGate.hpp"

#include <QString>
#include <QUrl>

namespace orvik::helper {

namespace {

constexpr std::string_view requiredScheme = "https";

// QUrl lower-cases the scheme it reports, so the written scheme is compared before parsing.
bool isHttpsUrl(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.substr(0, colon) != requiredScheme) return false;
    const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
    return url.isValid();
}

} // namespace

bool UpdateGate::holds(std::string_view feedUrl, std::string_view publicKey) {
    return isSet(feedUrl) && isSet(publicKey) && isHttpsUrl(feedUrl);
}

bool UpdateGate::isSet(std::string_view text) {
    if (text.starts_with("{{")) return false;
    return text.find_first_not_of(" \t") != std::string_view::npos;
}

} // namespace orvik::helper
