#pragma once

#include "apps/DesktopEntry.hpp"

#include <unicode/coll.h>

#include <memory>
#include <string>
#include <vector>

namespace orvik::helper {

// Orders application names as people read them in a locale: ICU's collator with runs of digits compared by
// value ("App 9" before "App 10").
class NameCollation {
public:
    // en_US when `locale` is empty, "C" or "POSIX".
    explicit NameCollation(const std::string& locale);
    ~NameCollation();

    // The locale of this process's environment (LC_ALL, LC_COLLATE, LANG) as ICU names it; empty for C/POSIX.
    static std::string currentLocale();

    bool less(const std::string& left, const std::string& right) const;
    // Stable: entries whose names compare equal keep their order.
    void sort(std::vector<DesktopEntry>& entries) const;

private:
    std::unique_ptr<icu::Collator> collator_;
};

} // namespace orvik::helper
