// Runs the orvik-phone executable against a scripted helper over real TLS on loopback. The helper checks
// the phone's proofs with OrvikKeys, so these tests pin what the tool sends in the handshake.

#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/pairing/ManualPairingCode.hpp"
#include "orvik/protocol/pairing/PairingPayload.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

extern char** environ;

using namespace orvik;

namespace {

// The executable is built next to this test.
std::string phonePath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "orvik-phone").string();
}

struct PhoneRun {
    int exitCode = -1;
    std::vector<nlohmann::json> lines;

    std::vector<nlohmann::json> ofType(const std::string& type) const {
        std::vector<nlohmann::json> found;
        for (const auto& line : lines) {
            if (line.value("type", "") == type) found.push_back(line);
        }
        return found;
    }
    std::optional<nlohmann::json> event(const std::string& name) const {
        for (const auto& line : lines) {
            if (line.value("event", "") == name) return line;
        }
        return std::nullopt;
    }
};

// Starts the tool without a shell, feeds `input` to its standard input and collects its output lines.
PhoneRun runPhone(const std::vector<std::string>& arguments, const std::string& input = "") {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) posix_spawn_file_actions_addclose(&actions, fd);

    std::string path = phonePath();
    std::vector<char*> argv{path.data()};
    std::vector<std::string> copies(arguments);
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " + path);

    if (!input.empty() && write(toChild[1], input.data(), input.size()) != ssize_t(input.size())) {
        throw std::runtime_error("cannot feed the phone");
    }
    close(toChild[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t count; (count = read(fromChild[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(count));
    close(fromChild[0]);

    PhoneRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        run.lines.push_back(nlohmann::json::parse(output.substr(start, end - start)));
    }
    return run;
}

// The helper's side of the handshake, as the server does it, with one paired device and one pairing window.
class ScriptedHelper {
public:
    ScriptedHelper() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
        for (int i = 0; i < 32; ++i) {
            secret.push_back(static_cast<std::uint8_t>(0xC0 + i));
            deviceKey.push_back(static_cast<std::uint8_t>(i));
        }
        keys_.insert_or_assign(OrvikKeys::sessionIdentity(deviceID), OrvikKeys::sessionPSK(deviceKey, deviceID));
        keys_.insert_or_assign(OrvikKeys::qrPairingIdentity(helperID), OrvikKeys::qrPairingPSK(secret, helperID));
        auto code = ManualPairingCode::fromPairingSecret(secret);
        keys_.insert_or_assign(std::string(OrvikKeys::manualPairingIdentity), OrvikKeys::manualPairingPSK(code->bytes));
        devices_[deviceID] = deviceKey;
        context_ = OrvikTLS::serverContext([this](std::string_view identity) -> std::optional<SymmetricKey> {
            std::lock_guard lock(mutex_);
            auto found = keys_.find(std::string(identity));
            if (found == keys_.end()) return std::nullopt;
            return found->second;
        });
        asio::co_spawn(io_, acceptLoop(), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }

    ~ScriptedHelper() {
        io_.stop();
        thread_.join();
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port()); }
    std::string pairingURL() const {
        return PairingPayload{helperID, "Test Desktop", {*HostPort::parse(address())}, secret}.url();
    }
    std::vector<std::string> receivedTypes() {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::optional<Bytes> keyOf(const Uuid& device) {
        std::lock_guard lock(mutex_);
        auto found = devices_.find(device);
        if (found == devices_.end()) return std::nullopt;
        return found->second;
    }

    const Uuid helperID = *Uuid::parse("0F0E0D0C-0B0A-4908-8706-050403020100");
    const Uuid deviceID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    Bytes secret;
    Bytes deviceKey;

private:
    asio::awaitable<void> acceptLoop() {
        for (;;) {
            auto socket = co_await acceptor_.async_accept(asio::use_awaitable);
            asio::co_spawn(io_, serve(FramedConnection::accepted(std::move(socket), context_)), asio::detached);
        }
    }

    asio::awaitable<void> serve(std::shared_ptr<FramedConnection> connection) {
        try {
            co_await connection->start(std::chrono::seconds(3));
            auto hello = co_await connection->receive();
            if (!hello.message() || !hello.message()->get<Hello>()) co_return refuse(connection);
            Bytes challenge = *OrvikKeys::randomBytes(OrvikKeys::challengeLength);
            connection->send(
                HelloAck{1, 1, "1.0", helperID, "Test Desktop", "Test", Capabilities{}, std::nullopt, challenge});
            auto next = co_await connection->receive();
            const auto* message = next.message();
            if (message && message->get<Authenticate>()) {
                if (!acceptsProof(*message->get<Authenticate>(), challenge)) co_return refuse(connection);
                connection->send(Authenticated{"Test Phone"});
                co_await serveAuthenticated(connection);
            } else if (message && message->get<PairRequest>()) {
                co_await pair(connection, *message->get<PairRequest>(), challenge);
            } else {
                refuse(connection);
            }
        } catch (const ConnectionError&) {
            connection->cancel();
        }
    }

    bool acceptsProof(const Authenticate& request, const Bytes& challenge) {
        auto key = keyOf(request.deviceID);
        return key && OrvikKeys::verify(request.proof, OrvikKeys::authenticationKey(*key, request.deviceID), challenge);
    }

    asio::awaitable<void> serveAuthenticated(std::shared_ptr<FramedConnection> connection) {
        for (;;) {
            auto received = co_await connection->receive();
            const auto* message = received.message();
            if (!message) continue;
            {
                std::lock_guard lock(mutex_);
                received_.push_back(name(message->type()));
            }
            if (const auto* ping = message->get<Ping>()) connection->send(Pong{ping->value});
        }
    }

    asio::awaitable<void> pair(std::shared_ptr<FramedConnection> connection, PairRequest request, Bytes challenge) {
        Bytes proofSecret = secret;
        if (request.method == PairingMethod::manualCode) proofSecret.resize(OrvikKeys::manualCodeSecretLength);
        if (!OrvikKeys::verify(request.proof, OrvikKeys::pairingProofKey(proofSecret), challenge)) {
            co_return refuse(connection);
        }
        Bytes newKey = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
        {
            std::lock_guard lock(mutex_);
            devices_[request.deviceID] = newKey;
            keys_.insert_or_assign(OrvikKeys::sessionIdentity(request.deviceID),
                                   OrvikKeys::sessionPSK(newKey, request.deviceID));
        }
        connection->send(PairAccepted{newKey, helperID, "Test Desktop", Capabilities{}},
                         [connection](auto) { connection->cancel(); });
        co_return;
    }

    void refuse(const std::shared_ptr<FramedConnection>& connection) {
        connection->send(ErrorMessage{ErrorCode::unauthorized}, [connection](auto) { connection->cancel(); });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::shared_ptr<asio::ssl::context> context_;
    std::mutex mutex_;
    std::map<std::string, SymmetricKey> keys_;
    std::map<Uuid, Bytes> devices_;
    std::vector<std::string> received_;
    std::thread thread_;
};

std::string hexOf(ByteView bytes) {
    std::string out;
    char digits[3];
    for (auto byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        out += digits;
    }
    return out;
}

} // namespace

TEST(PhoneClient, AuthenticatesAndSendsFromArgumentsAndStandardInput) {
    ScriptedHelper helper;
    auto run = runPhone({"--identity", helper.deviceID.text(), "--key", hexOf(helper.deviceKey), "--connect",
                         helper.address(), "--send", R"({"type":"ping","payload":{"value":7}})", "--stdin", "--until",
                         "pong", "--wait-ms", "10000"},
                        "\n{\"type\":\"text\",\"payload\":{\"text\":\"hi\",\"mode\":\"type\"}}\n");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.ofType("helloAck").size(), 1u);
    EXPECT_EQ(run.ofType("helloAck")[0]["payload"]["challenge"].get<std::string>().size(), 44u);
    ASSERT_EQ(run.ofType("authenticated").size(), 1u);
    EXPECT_EQ(run.ofType("authenticated")[0]["payload"]["deviceName"], "Test Phone");
    ASSERT_EQ(run.ofType("pong").size(), 1u);
    EXPECT_EQ(run.ofType("pong")[0]["payload"]["value"], 7);
    ASSERT_TRUE(run.event("connected"));
    EXPECT_EQ((*run.event("connected"))["identity"], helper.deviceID.text());
    // The text line of standard input was sent before the tool closed.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (helper.receivedTypes().size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(helper.receivedTypes(), (std::vector<std::string>{"ping", "text"}));
}

TEST(PhoneClient, PairsThroughTheQrUrlAndReconnectsWithTheNewKey) {
    ScriptedHelper helper;
    auto newDevice = Uuid::random();
    auto run = runPhone({"--pair-url", helper.pairingURL(), "--device-id", newDevice.text(), "--reconnect", "--send",
                         R"({"type":"ping","payload":{"value":1}})", "--until", "pong", "--wait-ms", "10000"});
    EXPECT_EQ(run.exitCode, 0);
    auto paired = run.event("paired");
    ASSERT_TRUE(paired);
    auto storedKey = helper.keyOf(newDevice);
    ASSERT_TRUE(storedKey);
    EXPECT_EQ((*paired)["deviceID"], newDevice.text());
    EXPECT_EQ((*paired)["deviceKey"], Base64::encode(*storedKey));
    EXPECT_EQ((*paired)["deviceKeyHex"], hexOf(*storedKey));
    EXPECT_EQ(run.ofType("pairAccepted").size(), 1u);
    EXPECT_EQ(run.ofType("pong").size(), 1u);
}

TEST(PhoneClient, PairsThroughTheManualCode) {
    ScriptedHelper helper;
    auto code = ManualPairingCode::fromPairingSecret(helper.secret)->formatted();
    auto run = runPhone({"--pair-code", code, "--connect", helper.address(), "--quiet"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_TRUE(run.event("paired"));
    EXPECT_FALSE(run.event("connected")); // quiet keeps only messages and the paired event
}

TEST(PhoneClient, ReportsRefusalsAndKeyFailuresByExitCode) {
    ScriptedHelper helper;
    auto wrongProof = runPhone({"--identity", helper.deviceID.text(), "--key", hexOf(helper.deviceKey), "--connect",
                                helper.address(), "--wrong-proof"});
    EXPECT_EQ(wrongProof.exitCode, 3);
    ASSERT_EQ(wrongProof.ofType("error").size(), 1u);
    EXPECT_EQ(wrongProof.ofType("error")[0]["payload"]["code"], "unauthorized");

    Bytes otherKey(32, 0xEE);
    auto wrongKey =
        runPhone({"--identity", helper.deviceID.text(), "--key", hexOf(otherKey), "--connect", helper.address()});
    EXPECT_EQ(wrongKey.exitCode, 2);
    auto failed = wrongKey.event("failed");
    ASSERT_TRUE(failed);
    EXPECT_EQ((*failed)["authenticationFailure"], true);

    auto waitingInVain = runPhone({"--identity", helper.deviceID.text(), "--key", hexOf(helper.deviceKey), "--connect",
                                   helper.address(), "--until", "status", "--wait-ms", "100"});
    EXPECT_EQ(waitingInVain.exitCode, 6);

    auto badInput = runPhone({"--identity", helper.deviceID.text(), "--key", hexOf(helper.deviceKey), "--connect",
                              helper.address(), "--stdin"},
                             "{\"type\":\"ping\",\"payload\":{\"value\":1}}\nnot json\n");
    EXPECT_EQ(badInput.exitCode, 5);
    EXPECT_EQ(runPhone({"--connect", helper.address()}).exitCode, 1);
}
