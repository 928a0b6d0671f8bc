#include "system/PresentationPresets.hpp"

#include "core/AtomicFile.hpp"
#include "core/Log.hpp"
#include "orvik/protocol/keys/KeyComboJson.hpp"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <system_error>

namespace orvik::helper {

namespace {

constexpr std::string_view logCategory = "System";
constexpr std::string_view dataFolder = "orvik-helper";
// How many folders above the program's own the share folder is looked for (bin/.. when installed; the build
// tree's root from a program in tools/<name>/).
constexpr int shareFolderLevels = 3;

PresentationPresets::Actions common(std::vector<KeyCombo> start) {
    return {{"next", {KeyCombo{MacKey::rightArrow, {}}}},
            {"previous", {KeyCombo{MacKey::leftArrow, {}}}},
            {"start", std::move(start)},
            {"stop", {KeyCombo{MacKey::escape, {}}}},
            {"blackScreen", {KeyCombo{MacKey::b, {}}}},
            {"whiteScreen", {KeyCombo{MacKey::w, {}}}}};
}

const std::vector<KeyCombo>* lookUp(const PresentationPresets& presets, std::string_view app, std::string_view action) {
    auto program = presets.apps.find(std::string(app));
    if (program == presets.apps.end()) return nullptr;
    auto combos = program->second.find(std::string(action));
    return combos == program->second.end() ? nullptr : &combos->second;
}

// The member `name` of `json`, which must be of the kind `is` checks.
const nlohmann::json& member(const nlohmann::json& json, const char* name, bool (nlohmann::json::*is)() const) {
    const auto& value = json.at(name);
    if (!(value.*is)()) throw std::invalid_argument(std::string(name) + " has the wrong type");
    return value;
}

std::filesystem::path executableFolder() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program.parent_path();
}

} // namespace

std::vector<KeyCombo> PresentationPresets::combos(PresentationAction action, PresentationApp app) const {
    const auto actionName = caseName(action);
    if (const auto* own = lookUp(*this, caseName(app), actionName)) return *own;
    if (const auto* generic = lookUp(*this, caseName(PresentationApp::generic), actionName)) return *generic;
    return {};
}

PresentationPresets PresentationPresets::load(std::string_view text) {
    const auto json = nlohmann::json::parse(text);
    if (!json.is_object()) throw std::invalid_argument("not an object");
    PresentationPresets presets;
    presets.version = member(json, "version", &nlohmann::json::is_number_integer).get<int>();
    for (const auto& [program, actions] : member(json, "apps", &nlohmann::json::is_object).items()) {
        if (!actions.is_object()) throw std::invalid_argument(program + " is not an object");
        auto& stored = presets.apps[program];
        for (const auto& [action, combos] : actions.items()) {
            if (!combos.is_array()) throw std::invalid_argument(action + " is not a list");
            auto& list = stored[action];
            for (const auto& combo : combos) list.push_back(keyComboFromJson(combo));
        }
    }
    return presets;
}

const PresentationPresets& PresentationPresets::builtIn() {
    static const PresentationPresets table{
        1,
        {{"keynote", common({KeyCombo{MacKey::p, ModifierFlags::option | ModifierFlags::command}})},
         {"powerPoint", common({KeyCombo{MacKey::returnKey, ModifierFlags::command}})},
         {"googleSlides", common({KeyCombo{MacKey::returnKey, ModifierFlags::command}})},
         {"generic", common({})}}};
    return table;
}

PresentationPresets PresentationPresets::firstFound(const std::vector<std::filesystem::path>& candidates) {
    for (const auto& candidate : candidates) {
        const auto file = AtomicFile::read(candidate);
        if (file.status != AtomicFile::ReadResult::Status::contents) continue;
        try {
            return load(file.contents);
        } catch (const std::exception& error) {
            Log::error(logCategory, "Presentation presets " + candidate.string() + " not used: " + error.what());
            return builtIn();
        }
    }
    return builtIn();
}

std::vector<std::filesystem::path> PresentationPresets::searchPaths() {
    std::vector<std::filesystem::path> paths;
    auto folder = executableFolder();
    if (!folder.empty()) {
        paths.push_back(folder / fileName);
        for (int level = 0; level < shareFolderLevels && folder.has_parent_path(); ++level) {
            folder = folder.parent_path();
            paths.push_back(folder / "share" / dataFolder / fileName);
        }
    }
    paths.push_back(std::filesystem::path(ORVIK_INSTALL_DATADIR) / dataFolder / fileName);
    return paths;
}

PresentationPresets PresentationPresets::installed() {
    return firstFound(searchPaths());
}

} // namespace orvik::helper
