// The device store on a bus where nobody owns the Secret Service's name and nothing can be started for it
// (tests/support/run-with-private-bus without --keyring).
#include "KeyringTestSupport.hpp"
#include "core/tests/CapturedLog.hpp"
#include "pairing/tests/TestDevices.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace orvik::helper {
namespace {

using testing::anna;
using testing::CapturedLog;
using testing::keyWithEveryKindOfByte;

using NoSecretService = testing::KeyringTest;

// Mend: with no Secret Service at all, a removed phone's key deletion, put off until a keyring can be reached, was
// logged as "Keychain delete failed" at error level again at every start. Failing deletes are ignored: the removal
// says once that it is put off, and the starts after it say nothing of it.
TEST_F(NoSecretService, APutOffKeyDeletionIsSaidOnceAndNotAtEveryStart) {
    CapturedLog log;
    {
        auto store = makeStore();
        store->add(anna, keyWithEveryKindOfByte(40));
        store->remove(anna.id);
        store->flush();
    }
    for (int start = 0; start < 2; ++start) makeStore()->waitForBackgroundWork();

    EXPECT_TRUE(defaults->value(KeychainDeviceStore::pendingDeletionsKey)) << "waiting for a keyring";
    EXPECT_TRUE(KeyFileVault(keyFilePath).entries().empty());
    auto lines = log.lines();
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(),
                             [](const CapturedLog::Line& line) { return line.level == Log::Level::error; }));
    auto aboutDeletion = [](const CapturedLog::Line& line) { return line.text.find("delete") != std::string::npos; };
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), aboutDeletion), 1);
    auto notice = std::find_if(lines.begin(), lines.end(), aboutDeletion);
    if (notice != lines.end()) {
        EXPECT_EQ(notice->level, Log::Level::notice) << notice->text;
    }
}

} // namespace
} // namespace orvik::helper
