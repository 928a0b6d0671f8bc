// The defaults file: any text parses without crashing, and what was read is written back and reads the same.
#include "core/DefaultsDocument.hpp"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::DefaultsDocument;
    auto document = DefaultsDocument::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document) return 0;
    auto again = DefaultsDocument::parse(DefaultsDocument::serialize(document->values));
    if (!again || again->values != document->values || !again->unreadableKeys.empty()) std::abort();
    return 0;
}
