// The key file: any text parses without crashing, and what was read, keys and unreadable entries alike, is
// written back and reads the same.
#include "pairing/KeyFileDocument.hpp"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::KeyFileDocument;
    auto document = KeyFileDocument::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document) return 0;
    auto again = KeyFileDocument::parse(document->serialize());
    if (!again || again->keys != document->keys) std::abort();
    for (const auto& [name, value] : document->unreadable.items()) {
        auto id = orvik::Uuid::parse(name);
        // A key of the same device written in another spelling of its identifier replaces the unreadable entry.
        if (id && document->keys.contains(*id) && name == id->text()) continue;
        if (!again->unreadable.contains(name) || again->unreadable[name] != value) std::abort();
    }
    return 0;
}
