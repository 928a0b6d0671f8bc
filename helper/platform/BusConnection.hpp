#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct sd_bus;
struct sd_bus_message;

namespace orvik::helper {

// One argument of a method call: the few D-Bus types the helper passes.
using BusArgument = std::variant<bool, std::uint32_t, std::string>;

struct BusCall {
    std::string service;
    std::string path;
    std::string interface;
    std::string method;
    std::vector<BusArgument> arguments{};
};

// How a call ended. `denied` is a refusal by the service or by polkit; `error` holds the D-Bus error name.
struct BusReply {
    enum class Status { ok, denied, timedOut, failed };
    Status status = Status::failed;
    std::string error;
    std::shared_ptr<sd_bus_message> message;

    bool ok() const { return status == Status::ok; }
};

// A client connection to one message bus (sd-bus), used from one thread. Calls never start a service by bus
// activation: the helper talks only to what already runs.
class BusConnection {
public:
    enum class Kind { system, session };

    // Connects to `address`, or when absent to the machine's system bus or the user's session bus. Absent when
    // the bus cannot be reached.
    static std::unique_ptr<BusConnection> open(Kind kind, const std::optional<std::string>& address);

    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // The connection itself, for what the calls here do not cover (signal matches, processing, its descriptor).
    sd_bus* get() const { return bus_; }

    BusReply call(const BusCall& call, std::chrono::milliseconds timeout);
    bool hasOwner(const std::string& name, std::chrono::milliseconds timeout);
    // A property read through org.freedesktop.DBus.Properties; absent on any failure or another type.
    std::optional<bool> boolProperty(const BusCall& where, std::chrono::milliseconds timeout);
    std::optional<std::string> stringProperty(const BusCall& where, std::chrono::milliseconds timeout);
    // The object path of a property holding an (id, path) pair, such as a logind user's Display.
    std::optional<std::string> pathOfPairProperty(const BusCall& where, std::chrono::milliseconds timeout);
    // The object path a reply starts with (such as GetSession's).
    static std::optional<std::string> objectPath(const BusReply& reply);

private:
    explicit BusConnection(sd_bus* bus) : bus_(bus) {}
    // Property Get: `where.method` names the property.
    BusReply getProperty(const BusCall& where, std::chrono::milliseconds timeout);

    sd_bus* bus_;
};

} // namespace orvik::helper
