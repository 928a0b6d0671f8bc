// orvik-phone: a command-line phone client of the Orvik protocol (see --help).
#include "PhoneOptions.hpp"
#include "PhoneOutput.hpp"
#include "PhoneSession.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>

using namespace orvik::phone;

namespace {

int run(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    auto parsed = parseOptions(arguments);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "orvik-phone: " << *error << "\n(see orvik-phone --help)" << std::endl;
        return static_cast<int>(ExitCode::usage);
    }
    auto options = std::get<PhoneOptions>(std::move(parsed));
    if (options.help) {
        std::cout << usageText();
        return static_cast<int>(ExitCode::success);
    }

    asio::io_context io(1);
    PhoneOutput output(std::cout, std::cerr, options.quiet);
    const bool readsInput = options.readStandardInput;
    ExitCode result = ExitCode::success;
    for (std::uint32_t round = 0; round < options.repeat && result == ExitCode::success; ++round) {
        auto session = std::make_shared<PhoneSession>(io.get_executor(), options, output);
        result = ExitCode::connectionFailed;
        asio::co_spawn(io, session->run(), [&](std::exception_ptr failure, ExitCode code) {
            result = code;
            if (!failure) return;
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& error) {
                output.diagnostic(std::string("internal error: ") + error.what());
            }
            result = ExitCode::connectionFailed;
        });
        // Returns once the connection has finished closing.
        io.run();
        io.restart();
    }
    std::cout.flush();
    // The standard-input reader may still be blocked in a read; it must not outlive the loop it posts to.
    if (readsInput) std::_Exit(static_cast<int>(result));
    return static_cast<int>(result);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "orvik-phone: " << error.what() << std::endl;
        return static_cast<int>(ExitCode::connectionFailed);
    }
}
