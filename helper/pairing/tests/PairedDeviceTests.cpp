#include "pairing/PairedDevice.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

const auto annasPhoneID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

Date secondsAfterReference(double seconds) {
    return *ReferenceDate::date(seconds);
}

TEST(PairedDevice, WritesDatesAsSecondsSince2001AndLastSeenOnlyWhenPresent) {
    PairedDevice device{annasPhoneID, "Anna's iPhone", "iPhone15,2", secondsAfterReference(700'000'000.5)};
    EXPECT_EQ(device.toJson(), (nlohmann::json{{"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
                                               {"name", "Anna's iPhone"},
                                               {"model", "iPhone15,2"},
                                               {"pairedAt", 700'000'000.5}}));
    device.lastSeen = secondsAfterReference(0);
    EXPECT_EQ(device.toJson()["lastSeen"], 0.0);
    EXPECT_EQ(PairedDevice::fromJson(device.toJson()), device);
}

TEST(PairedDevice, DecodingNeedsTheFourRequiredKeys) {
    auto complete = nlohmann::json::parse(
        R"({"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "name": "A", "model": "M", "pairedAt": 1, "extra": true})");
    EXPECT_EQ(PairedDevice::fromJson(complete).id, annasPhoneID);
    EXPECT_FALSE(PairedDevice::fromJson(complete).lastSeen);
    auto nullLastSeen = complete;
    nullLastSeen["lastSeen"] = nullptr;
    EXPECT_FALSE(PairedDevice::fromJson(nullLastSeen).lastSeen);
    for (const char* key : {"id", "name", "model", "pairedAt"}) {
        auto missing = complete;
        missing.erase(key);
        EXPECT_THROW(PairedDevice::fromJson(missing), DecodingError) << key;
    }
    for (auto [key, value] : std::vector<std::pair<const char*, nlohmann::json>>{
             {"id", "not-a-uuid"}, {"name", 5}, {"pairedAt", "yesterday"}, {"lastSeen", 1e300}}) {
        auto wrong = complete;
        wrong[key] = value;
        EXPECT_THROW(PairedDevice::fromJson(wrong), DecodingError) << key;
    }
}

} // namespace
} // namespace orvik::helper
