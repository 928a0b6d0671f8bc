#include "platform/BusConnection.hpp"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>

namespace orvik::helper {
namespace {

// Refusals: by the service itself, or by polkit (logind asks it; without interaction it cannot ask the user).
constexpr const char* deniedErrors[] = {SD_BUS_ERROR_ACCESS_DENIED, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED,
                                        "org.freedesktop.PolicyKit1.Error.NotAuthorized"};

std::uint64_t microseconds(std::chrono::milliseconds timeout) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
}

int append(sd_bus_message* message, const BusArgument& argument) {
    return std::visit(
        [message](const auto& value) -> int {
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, bool>) {
                int flag = value ? 1 : 0;
                return sd_bus_message_append_basic(message, 'b', &flag);
            } else if constexpr (std::is_same_v<Value, std::uint32_t>) {
                return sd_bus_message_append_basic(message, 'u', &value);
            } else {
                return sd_bus_message_append_basic(message, 's', value.c_str());
            }
        },
        argument);
}

BusReply failed(std::string error) {
    return {BusReply::Status::failed, std::move(error), nullptr};
}

} // namespace

std::unique_ptr<BusConnection> BusConnection::open(Kind kind, const std::optional<std::string>& address) {
    sd_bus* bus = nullptr;
    int result = 0;
    if (!address) {
        result = kind == Kind::system ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus);
    } else if ((result = sd_bus_new(&bus)) >= 0) {
        // A given address is the only bus used: nothing falls back to the machine's own.
        if ((result = sd_bus_set_address(bus, address->c_str())) >= 0 &&
            (result = sd_bus_set_bus_client(bus, 1)) >= 0) {
            result = sd_bus_start(bus);
        }
    }
    if (result < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(bus));
}

BusConnection::~BusConnection() {
    sd_bus_flush_close_unref(bus_);
}

BusReply BusConnection::call(const BusCall& call, std::chrono::milliseconds timeout) {
    sd_bus_message* request = nullptr;
    if (sd_bus_message_new_method_call(bus_, &request, call.service.c_str(), call.path.c_str(), call.interface.c_str(),
                                       call.method.c_str()) < 0) {
        return failed("invalid call");
    }
    std::shared_ptr<sd_bus_message> owned(request, sd_bus_message_unref);
    sd_bus_message_set_auto_start(request, 0);
    for (const auto& argument : call.arguments) {
        if (append(request, argument) < 0) return failed("invalid arguments");
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* answer = nullptr;
    int result = sd_bus_call(bus_, request, microseconds(timeout), &error, &answer);
    BusReply reply;
    if (result >= 0) {
        reply = {BusReply::Status::ok, {}, std::shared_ptr<sd_bus_message>(answer, sd_bus_message_unref)};
    } else if (result == -ETIMEDOUT) {
        reply = {BusReply::Status::timedOut, "timed out", nullptr};
    } else {
        reply = failed(error.name ? error.name : std::strerror(-result));
        for (const char* name : deniedErrors) {
            if (sd_bus_error_has_name(&error, name)) reply.status = BusReply::Status::denied;
        }
    }
    sd_bus_error_free(&error);
    return reply;
}

bool BusConnection::hasOwner(const std::string& name, std::chrono::milliseconds timeout) {
    auto reply = call({"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", {name}},
                      timeout);
    int owned = 0;
    return reply.ok() && sd_bus_message_read_basic(reply.message.get(), 'b', &owned) >= 0 && owned;
}

BusReply BusConnection::getProperty(const BusCall& where, std::chrono::milliseconds timeout) {
    return call({where.service, where.path, "org.freedesktop.DBus.Properties", "Get", {where.interface, where.method}},
                timeout);
}

std::optional<bool> BusConnection::boolProperty(const BusCall& where, std::chrono::milliseconds timeout) {
    auto reply = getProperty(where, timeout);
    int value = 0;
    if (!reply.ok() || sd_bus_message_read(reply.message.get(), "v", "b", &value) < 0) return std::nullopt;
    return value != 0;
}

std::optional<std::string> BusConnection::stringProperty(const BusCall& where, std::chrono::milliseconds timeout) {
    auto reply = getProperty(where, timeout);
    const char* value = nullptr;
    if (!reply.ok() || sd_bus_message_read(reply.message.get(), "v", "s", &value) < 0 || !value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> BusConnection::pathOfPairProperty(const BusCall& where, std::chrono::milliseconds timeout) {
    auto reply = getProperty(where, timeout);
    const char* id = nullptr;
    const char* path = nullptr;
    if (!reply.ok() || sd_bus_message_read(reply.message.get(), "v", "(so)", &id, &path) < 0 || !path ||
        std::strcmp(path, "/") == 0) {
        return std::nullopt;
    }
    return std::string(path);
}

std::optional<std::string> BusConnection::objectPath(const BusReply& reply) {
    const char* path = nullptr;
    if (!reply.ok() || sd_bus_message_read(reply.message.get(), "o", &path) < 0 || !path) return std::nullopt;
    return std::string(path);
}

} // namespace orvik::helper
