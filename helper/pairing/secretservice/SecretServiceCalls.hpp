#pragma once

#include "pairing/DeviceKeyVault.hpp"

// The item-path calls, unstable by libsecret's word since 2012 but unchanged since.
#define SECRET_API_SUBJECT_TO_CHANGE 1
#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper::secretservice {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Cancels an operation's GCancellable when the time is up, unless the operation ended first. Every call of one
// operation shares it, so a retry spends what is left, not a new allowance.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds timeout);
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;
    ~Deadline();

    GCancellable* cancellable() const { return cancellable_.get(); }
    bool expired() const { return g_cancellable_is_cancelled(cancellable_.get()); }

private:
    void watch(std::chrono::milliseconds timeout);

    GObjectPtr<GCancellable> cancellable_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    std::thread watchdog_;
};

// Thrown by the calls below when the bus or the service answered a call with an error (or not in time): `result`
// says it as the vault reports it. A lock that keeps an item out of reach is an answer, not such a failure.
struct CallFailure {
    VaultResult result;
};

// The paths of the items a search found.
struct ItemPaths {
    std::vector<std::string> unlocked;
    std::vector<std::string> locked;
};

// libsecret's shared service connection with an open session, and the Secret Service's methods called by object
// path on it. No item or collection objects are made: each loads and follows every item of its collection, and
// one per write made the memory of moving many keys grow with the square of their number.
class ServiceConnection {
public:
    // The shared connection; throws CallFailure (unreachable, or no answer in time) when there is none.
    static std::shared_ptr<ServiceConnection> open(const Deadline& deadline);
    // Drops libsecret's shared connection, so that the next open() connects anew with a new session: the service
    // may have been restarted (a killed keyring is started again by the bus), and the old session means nothing
    // to the new one.
    static void forgetShared();

    explicit ServiceConnection(GObjectPtr<SecretService> service) : service_(std::move(service)) {}

    // The items holding device keys (those with the service attribute), of one device when given.
    ItemPaths search(const std::optional<Uuid>& deviceID, const Deadline& deadline);
    // The secrets of unlocked items, by path; an item whose secret did not come is left out.
    std::map<std::string, Bytes> secrets(const std::vector<std::string>& itemPaths, const Deadline& deadline);
    // The device an item belongs to: its account attribute.
    std::optional<Uuid> account(const std::string& itemPath, const Deadline& deadline);
    // The default collection's path; absent when the service has none.
    std::optional<std::string> defaultCollection(const Deadline& deadline);
    bool isLocked(const std::string& collectionPath, const Deadline& deadline);
    // Creates the device's item, replacing one with the same attributes. False when the service wants to prompt
    // (the collection is locked): the prompt is dismissed, never shown.
    bool createItem(const std::string& collectionPath, const Uuid& deviceID, const std::string& label, ByteView key,
                    const Deadline& deadline);
    // False when the service wants to prompt: the prompt is dismissed.
    bool deleteItem(const std::string& itemPath, const Deadline& deadline);

private:
    struct VariantUnref {
        void operator()(GVariant* variant) const { g_variant_unref(variant); }
    };
    using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

    VariantPtr call(const std::string& path, const char* interface, const char* method, GVariant* parameters,
                    const GVariantType* replyType, const Deadline& deadline);
    // The value of an object's property.
    VariantPtr property(const std::string& path, const char* interface, const char* name, const Deadline& deadline);
    // A prompt path other than "/" is dismissed; returns whether there was none.
    bool withoutPrompt(const char* promptPath, const Deadline& deadline);

    GObjectPtr<SecretService> service_;
};

} // namespace orvik::helper::secretservice
