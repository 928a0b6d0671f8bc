#include "pairing/DeviceList.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Devices = std::vector<PairedDevice>;

const auto annaID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
const auto benID = *Uuid::parse("0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24");

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

nlohmann::json jsonOf(const Bytes& bytes) {
    return nlohmann::json::parse(bytes.begin(), bytes.end());
}

// A JSON array of these entries' texts.
std::string arrayOf(std::initializer_list<std::string> entries) {
    std::string text = "[";
    for (const auto& entry : entries) {
        if (text.size() > 1) text += ",";
        text += entry;
    }
    return text + "]";
}

Date referencePlus(double seconds) {
    return *ReferenceDate::date(seconds);
}

TEST(DeviceList, IsACompactArrayOfRecordsInOrder) {
    Devices devices{{annaID, "A", "M", referencePlus(1), referencePlus(2)}, {benID, "B", "M", referencePlus(3)}};
    auto bytes = DeviceList(devices).encode();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find(' '), std::string::npos) << "compact";
    std::vector<std::string> skipped;
    auto decoded = DeviceList::decode(bytes, skipped);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->devices(), devices);
    EXPECT_TRUE(skipped.empty());
    for (const std::string& bad : {std::string("{}"), std::string("not json"), std::string("")}) {
        EXPECT_FALSE(DeviceList::decode(bytesOf(bad), skipped)) << bad;
    }
    EXPECT_EQ(DeviceList::decode(bytesOf("[]"), skipped)->devices(), Devices{});
}

// Mend: one entry another version wrote differently used to make the whole list read as empty, and the next save
// kept only what was added after.
TEST(DeviceList, AnEntryThatCannotBeReadIsSkippedNamedAndWrittenBackAsFound) {
    const std::string stored = R"([
        {"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "Anna", "model": "M", "pairedAt": 1, "colour": "red"},
        {"id": "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24", "name": 5, "model": "M", "pairedAt": 2},
        "a note",
        {"id": "not-a-uuid", "name": "C", "model": "M", "pairedAt": 3},
        {"id": "5B7A1C22-3D4E-4F60-8A9B-0C1D2E3F4A5B", "name": "D", "model": "M", "pairedAt": "yesterday"}])";
    std::vector<std::string> skipped;
    auto list = DeviceList::decode(bytesOf(stored), skipped);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->devices(), (Devices{{annaID, "Anna", "M", referencePlus(1)}}));
    EXPECT_EQ(skipped,
              (std::vector<std::string>{
                  "entry 2 (0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24): invalidValue: name is not a text",
                  "entry 3: malformedPayload: device is not an object", "entry 4: invalidValue: id is not a UUID",
                  "entry 5 (5B7A1C22-3D4E-4F60-8A9B-0C1D2E3F4A5B): invalidValue: pairedAt is not a number"}));

    list->find(annaID)->lastSeen = referencePlus(9);
    auto written = jsonOf(list->encode());
    auto original = nlohmann::json::parse(stored);
    ASSERT_EQ(written.size(), 5u);
    EXPECT_EQ(written[0]["lastSeen"], 9.0);
    EXPECT_EQ(written[0]["colour"], "red") << "keys of another version stay with their record";
    for (std::size_t index = 1; index < 5; ++index) EXPECT_EQ(written[index], original[index]) << index;
}

TEST(DeviceList, AddingOrRemovingADeviceReplacesEveryEntryOfItsIdentifier) {
    std::vector<std::string> skipped;
    auto list = *DeviceList::decode(bytesOf(R"([{"id": "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24", "name": 5},
                                                 {"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "Anna",
                                                  "model": "M", "pairedAt": 1}, 7])"),
                                    skipped);
    PairedDevice ben{benID, "Ben", "M", referencePlus(2)};
    list.add(ben);
    EXPECT_EQ(list.devices(), (Devices{{annaID, "Anna", "M", referencePlus(1)}, ben}));
    EXPECT_EQ(jsonOf(list.encode()).size(), 3u) << "Ben's unreadable entry went, the note stays";
    list.remove(annaID);
    list.remove(benID);
    EXPECT_EQ(jsonOf(list.encode()), nlohmann::json::array({7}));
    EXPECT_EQ(list.find(benID), nullptr);
}

// Mend: a device listed twice was shown twice and only its first entry got the new lastSeen.
TEST(DeviceList, ADeviceListedMoreThanOnceIsItsLastEntryWithTheLatestLastSeen) {
    struct Row {
        std::string stored;
        Devices expected;
        std::vector<std::string> merged;
        std::size_t written; // entries written back
    };
    const std::string anna1 = R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "A1", "model": "M",
                                  "pairedAt": 1, "lastSeen": 9})";
    const std::string anna2 = R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "A2", "model": "M",
                                  "pairedAt": 2, "lastSeen": 5})";
    const std::string anna3 = R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": "A3", "model": "M",
                                  "pairedAt": 3})";
    const std::string ben = R"({"id": "0F3C2A41-8B7D-4E22-9A61-5D0B8C7E1F24", "name": "B", "model": "M",
                                "pairedAt": 4})";
    const std::string unreadableAnna = R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "name": 5})";
    const PairedDevice b{benID, "B", "M", referencePlus(4)};
    for (const auto& row : {
             Row{arrayOf({anna1, ben, anna2}),
                 {b, {annaID, "A2", "M", referencePlus(2), referencePlus(9)}},
                 {"\"A2\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) is listed 2 times"},
                 2},
             Row{arrayOf({anna3, anna1, anna2, anna3}),
                 {{annaID, "A3", "M", referencePlus(3), referencePlus(9)}},
                 {"\"A3\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) is listed 4 times"},
                 1},
             // An entry that cannot be read is kept as found, beside the readable one.
             Row{arrayOf({unreadableAnna, anna3, ben}), {{annaID, "A3", "M", referencePlus(3)}, b}, {}, 3},
         }) {
        std::vector<std::string> skipped;
        std::vector<std::string> merged;
        auto list = DeviceList::decode(bytesOf(row.stored), skipped, merged);
        ASSERT_TRUE(list) << row.stored;
        EXPECT_EQ(list->devices(), row.expected) << row.stored;
        EXPECT_EQ(merged, row.merged) << row.stored;
        EXPECT_EQ(jsonOf(list->encode()).size(), row.written) << row.stored;
    }
}

} // namespace
} // namespace orvik::helper
