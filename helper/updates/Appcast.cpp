#include "updates/Appcast.hpp"

#include <QByteArray>
#include <QXmlStreamReader>

namespace orvik::helper {

namespace {

constexpr auto releaseNamespace = QLatin1StringView("http://www.andymatuschak.org/xml-namespaces/sparkle");

std::string utf8(QStringView text) {
    return text.toString().trimmed().toStdString();
}

void readEnclosure(const QXmlStreamAttributes& attributes, Appcast::Item& item) {
    item.enclosureUrl = utf8(attributes.value(QLatin1StringView("url")));
    const auto version = attributes.value(releaseNamespace, QLatin1StringView("version"));
    const auto shortVersion = attributes.value(releaseNamespace, QLatin1StringView("shortVersionString"));
    if (item.version.empty()) item.version = utf8(version);
    if (item.shortVersion.empty()) item.shortVersion = utf8(shortVersion);
}

// Reads one <item> up to its end tag; elements other than the release's own are skipped.
void readItem(QXmlStreamReader& reader, Appcast::Item& item) {
    while (reader.readNextStartElement()) {
        const auto name = reader.name();
        const bool ofRelease = reader.namespaceUri() == releaseNamespace;
        if (reader.namespaceUri().isEmpty() && name == QLatin1StringView("enclosure")) {
            readEnclosure(reader.attributes(), item);
            reader.skipCurrentElement();
        } else if (reader.namespaceUri().isEmpty() && name == QLatin1StringView("link")) {
            item.link = utf8(reader.readElementText());
        } else if (ofRelease && name == QLatin1StringView("version")) {
            item.version = utf8(reader.readElementText());
        } else if (ofRelease && name == QLatin1StringView("shortVersionString")) {
            item.shortVersion = utf8(reader.readElementText());
        } else {
            reader.skipCurrentElement();
        }
    }
}

} // namespace

std::optional<std::vector<Appcast::Item>> Appcast::parse(std::string_view document) {
    QXmlStreamReader reader(QByteArray(document.data(), static_cast<qsizetype>(document.size())));
    if (!reader.readNextStartElement() || reader.name() != QLatin1StringView("rss")) return std::nullopt;
    std::vector<Item> items;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1StringView("item")) {
            readItem(reader, items.emplace_back());
        }
    }
    if (reader.hasError()) return std::nullopt;
    return items;
}

} // namespace orvik::helper
