#include "core/InMemoryUserDefaults.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"
#include "preferences/HelperPreferences.hpp"
#include "preferences/PreferencesStore.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

const auto deviceA = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
const auto deviceB = *Uuid::parse("0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24");

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

HelperPreferences decoded(const std::string& json) {
    return HelperPreferences::decode(bytesOf(json));
}

HelperPreferences customized() {
    HelperPreferences preferences;
    preferences.autoAllowOnScan = false;
    preferences.scrollMode = ScrollMode::phased;
    preferences.allowLogOut = false;
    preferences.overlayColor = HelperPreferences::OverlayColor::white;
    preferences.overlaySize = HelperPreferences::OverlaySize::large;
    preferences.screenViewingEnabled = true;
    preferences.screenViewingDevices = {deviceA, deviceB};
    return preferences;
}

TEST(HelperPreferences, EncodesAllElevenKeysInDeclaredOrderAndRoundTrips) {
    auto bytes = HelperPreferences().encode();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              R"({"autoAllowOnScan":true,"showConnectionNotifications":true,"scrollMode":"phaseless",)"
              R"("allowRestart":true,"allowShutDown":true,"allowLogOut":true,"pauseHotKeyEnabled":true,)"
              R"("overlayColor":"aurora","overlaySize":"medium","screenViewingEnabled":false,)"
              R"("screenViewingDevices":[]})");
    auto custom = customized().encode();
    auto json = nlohmann::json::parse(custom.begin(), custom.end());
    EXPECT_EQ(json["screenViewingDevices"], (nlohmann::json{deviceA.text(), deviceB.text()}));
    EXPECT_EQ(json["scrollMode"], "phased");
    EXPECT_EQ(json["overlayColor"], "white");
    EXPECT_EQ(json["overlaySize"], "large");
    EXPECT_EQ(HelperPreferences::decode(custom), customized());
    auto reordered = customized();
    std::swap(reordered.screenViewingDevices[0], reordered.screenViewingDevices[1]);
    EXPECT_NE(reordered, customized()) << "the device order counts";
}

TEST(HelperPreferencesDecoding, MissingNullAndUnknownKeysLeaveTheDefaults) {
    auto older = decoded(R"({"autoAllowOnScan": false, "overlaySize": "small", "allowRestart": null, "x": {}})");
    HelperPreferences expected;
    expected.autoAllowOnScan = false;
    expected.overlaySize = HelperPreferences::OverlaySize::small;
    EXPECT_EQ(older, expected);
    EXPECT_EQ(decoded("{}"), HelperPreferences());
}

TEST(HelperPreferencesDecoding, AnUnreadableEnumerationFallsBackAloneToItsDefault) {
    for (const char* value : {R"("purple")", "3", "{}", R"("Aurora")"}) {
        auto preferences = decoded(std::string(R"({"overlayColor": )") + value +
                                   R"(, "overlaySize": "large", "scrollMode": 1, "allowLogOut": false})");
        EXPECT_EQ(preferences.overlayColor, HelperPreferences::OverlayColor::aurora) << value;
        EXPECT_EQ(preferences.overlaySize, HelperPreferences::OverlaySize::large);
        EXPECT_EQ(preferences.scrollMode, ScrollMode::phaseless);
        EXPECT_FALSE(preferences.allowLogOut);
    }
}

TEST(HelperPreferencesDecoding, ANonBooleanInABooleanFieldOrTextThatIsNoObjectFailsTheWholeRecord) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsPreferencesStore store(defaults);
    for (const char* value : {R"("yes")", "1", "0", "[]"}) {
        auto json = std::string(R"({"allowShutDown": false, "allowRestart": )") + value + "}";
        EXPECT_THROW(decoded(json), DecodingError) << value;
        defaults->setData("helperPreferences", bytesOf(json));
        EXPECT_EQ(store.load(), HelperPreferences()) << "complete defaults, also for the field stored correctly";
    }
    for (const char* text : {"", "[]", "true", "{\"autoAllowOnScan\": tru", "\"{}\""}) {
        EXPECT_THROW(decoded(text), DecodingError) << text;
    }
}

TEST(HelperPreferencesDecoding, AMalformedDeviceListBecomesEmptyAndKeepsTheOtherFields) {
    const std::string goodDevice = "\"" + deviceA.text() + "\"";
    for (const std::string& list : {"[" + goodDevice + ", \"not-a-uuid\"]", "[" + goodDevice + ", 5]",
                                    std::string("\"") + deviceA.text() + "\"", std::string("{}")}) {
        auto preferences = decoded(R"({"screenViewingEnabled": true, "screenViewingDevices": )" + list + "}");
        EXPECT_TRUE(preferences.screenViewingDevices.empty()) << list;
        EXPECT_TRUE(preferences.screenViewingEnabled);
    }
    auto lowerCase = decoded(R"({"screenViewingDevices": ["e621e1f8-c36c-495a-93fc-0c247a3e6e5f"]})");
    EXPECT_EQ(lowerCase.screenViewingDevices, std::vector<Uuid>{deviceA});
}

TEST(UserDefaultsPreferencesStore, SavesTheJsonBytesAsDataAndLoadsDefaultsFromAnythingElse) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    UserDefaultsPreferencesStore store(defaults);
    EXPECT_EQ(store.load(), HelperPreferences());
    auto json = customized().encode();
    defaults->setText("helperPreferences", std::string(json.begin(), json.end()));
    EXPECT_EQ(store.load(), HelperPreferences()) << "a text value is not the record";

    store.save(customized());
    EXPECT_EQ(defaults->data("helperPreferences"), json);
    EXPECT_EQ(store.load(), customized());
    auto changes = defaults->changeCount();
    store.save(customized());
    EXPECT_EQ(defaults->changeCount(), changes) << "an equal record is not written again";
}

} // namespace
} // namespace orvik::helper
