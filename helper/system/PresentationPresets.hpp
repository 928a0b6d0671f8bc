#pragma once

#include "orvik/protocol/keys/KeyCombo.hpp"
#include "orvik/protocol/messages/CommandMessages.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// The keys a presentation command presses, by program and action. They come from the presets file installed
// with the application, "<datadir>/orvik-helper/presentation-presets.json", and from the built-in table only
// when no file is found. A file replaces the table whole: an action a program lacks falls back to the same
// action under "generic", then to nothing.
struct PresentationPresets {
    using Actions = std::map<std::string, std::vector<KeyCombo>>;

    int version = 0;
    // Program name → action name → combinations in order. Unknown names are kept and never looked up.
    std::map<std::string, Actions> apps;

    static constexpr std::string_view fileName = "presentation-presets.json";

    std::vector<KeyCombo> combos(PresentationAction action, PresentationApp app) const;

    // Decodes the file's text: an object with an integer "version" and "apps". Throws on anything else, also
    // on one combination that does not parse.
    static PresentationPresets load(std::string_view text);
    static const PresentationPresets& builtIn();
    // The first of `candidates` that exists, loaded; the built-in table when none exists or the one found does
    // not load (which is logged).
    static PresentationPresets firstFound(const std::vector<std::filesystem::path>& candidates);
    // Where the file is looked for: beside the running program and in the share folder of the tree it runs from
    // (a build tree or an installation), then in the installed data folder.
    static std::vector<std::filesystem::path> searchPaths();
    // The presets in use: firstFound(searchPaths()).
    static PresentationPresets installed();

    bool operator==(const PresentationPresets&) const = default;
};

} // namespace orvik::helper
