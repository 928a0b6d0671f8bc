// Desktop entries: reading one never crashes, and what is listed has a name and well-formed UTF-8 texts, whatever
// the file holds (a broken Exec line, odd list separators, ill-formed bytes in a localized name).
#include "apps/DesktopEntryScanner.hpp"
#include "core/UnicodeText.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::DesktopEntryScanner;
    using orvik::helper::UnicodeText;
    static const DesktopEntryScanner::Context context{{"GNOME", "XFCE"}, {}, "de_DE"};
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    const auto entry = DesktopEntryScanner::parse(contents, context);
    if (!entry) return 0;
    if (entry->name.empty() || UnicodeText::wellFormed(entry->name) != entry->name) std::abort();
    if (UnicodeText::wellFormed(entry->version) != entry->version) std::abort();
    if (entry->program.find('/') != std::string::npos) std::abort();
    return 0;
}
