#include "system/SystemController.hpp"

#include "core/Log.hpp"
#include "system/PowerPolicy.hpp"
#include "system/VolumePlan.hpp"

#include <string>

namespace orvik::helper {

namespace {

constexpr std::string_view controllerLogCategory = "System";

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// Presses `combos` from `index` on, one at a time: each press asks the server anew whether input may be posted.
void pressFrom(std::shared_ptr<const std::vector<KeyCombo>> combos, std::size_t index,
               std::shared_ptr<CommandSession> session, std::function<void()> done) {
    if (index >= combos->size()) {
        done();
        return;
    }
    const auto combo = (*combos)[index];
    auto next = [combos, index, session, done = std::move(done)](bool) mutable {
        pressFrom(std::move(combos), index + 1, std::move(session), std::move(done));
    };
    session->press(combo, std::move(next));
}

// The sound server answers on its own time: the session's next message waits for it, the server does not.
VolumeControlling::Done pushStatusAfterwards(std::shared_ptr<CommandSession> session, std::function<void()> done) {
    return [session = std::move(session), done = std::move(done)](bool) mutable {
        session->pushStatusIfChanged(false, std::move(done));
    };
}

} // namespace

std::shared_ptr<SystemController> SystemController::create(Services services) {
    return std::shared_ptr<SystemController>(new SystemController(std::move(services)));
}

SystemController::SystemController(Services services) : services_(std::move(services)) {}

Capabilities SystemController::capabilities() const {
    auto offered = Capabilities::media | Capabilities::volumeSet | Capabilities::presentation |
                   Capabilities::powerBasic | Capabilities::powerAdvanced | Capabilities::sleepTimer;
    if (services_.overlay) offered = offered | Capabilities::overlay;
    if (services_.pro) offered = offered | services_.pro->capabilities();
    return offered;
}

void SystemController::fill(HelperStatus& status) const {
    status.battery = services_.battery ? services_.battery() : std::nullopt;
    status.volume = services_.volume->status();
    if (services_.frontmost) {
        auto app = services_.frontmost->snapshot();
        status.frontmostAppName = std::move(app.name);
        status.frontmostBundleID = std::move(app.bundleID);
    }
    status.sleepTimer = services_.sleepTimer->status();
}

void SystemController::handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                              std::function<void()> done) {
    auto served = Overloaded{
        [&](const MediaCommand& command) { media(command.key, session, std::move(done)); },
        [&](const VolumeSet& command) { volumeSet(command.level, session, std::move(done)); },
        [&](const PresentationCommand& command) { presentation(command, session, std::move(done)); },
        [&](const PowerCommand& command) {
            auto answer = [session, requestID = command.requestID, done = std::move(done)](CommandOutcome outcome) {
                session->reply(requestID, std::move(outcome), done);
            };
            power(command, session, std::move(answer));
        },
        [&](const OverlayCommand& command) {
            if (services_.overlay) services_.overlay(command.mode);
            done();
        },
        [&](const CancelSleepTimer&) {
            services_.sleepTimer->cancel();
            session->pushStatusIfChanged(true, std::move(done));
        },
        [&](const auto&) {
            if (services_.pro)
                services_.pro->handle(message, session, std::move(done));
            else
                session->reply(message, ErrorCode::unsupported, std::nullopt, std::move(done));
        },
    };
    std::visit(served, message.value);
}

void SystemController::media(MediaKey key, const Session& session, Done done) {
    auto step = VolumePlan::plan(key, services_.volume->status());
    auto carryOut = Overloaded{
        [&](const VolumePlan::SetLevel& plan) {
            services_.volume->setLevel(plan.level, pushStatusAfterwards(session, std::move(done)));
        },
        [&](const VolumePlan::SetMuted& plan) {
            services_.volume->setMuted(plan.muted, pushStatusAfterwards(session, std::move(done)));
        },
        [&](const VolumePlan::PostMediaKey& plan) { session->postMediaKey(plan.key, std::move(done)); },
        [&](const VolumePlan::Unsupported&) { done(); },
    };
    std::visit(carryOut, step);
}

void SystemController::volumeSet(float level, const Session& session, Done done) {
    auto step = VolumePlan::plan(level, services_.volume->status());
    if (auto* set = std::get_if<VolumePlan::SetLevel>(&step)) {
        services_.volume->setLevel(set->level, pushStatusAfterwards(session, std::move(done)));
        return;
    }
    done();
}

void SystemController::presentation(const PresentationCommand& command, const Session& session, Done done) {
    auto combos = std::make_shared<const std::vector<KeyCombo>>(services_.presets.combos(command.action, command.app));
    pressFrom(std::move(combos), 0, session, std::move(done));
}

void SystemController::power(const PowerCommand& command, const Session& session, Answer answer) {
    auto decide = [weak = weak_from_this(), command, session,
                   answer = std::move(answer)](HelperPreferences preferences) mutable {
        auto self = weak.lock();
        if (!self) return answer(CommandOutcome::failure(ErrorCode::internalError, std::nullopt));
        if (!PowerPolicy::isAllowed(command.action, preferences))
            return answer(CommandOutcome::failure(ErrorCode::notAllowed, std::nullopt));
        if (!command.delaySeconds) return self->execute(command.action, std::move(answer));
        if (!PowerPolicy::isValidDelay(command.action, *command.delaySeconds))
            return answer(CommandOutcome::failure(ErrorCode::invalidRequest, std::nullopt));
        self->schedule(command.action, *command.delaySeconds, session, std::move(answer));
    };
    session->currentPreferences(std::move(decide));
}

void SystemController::schedule(PowerAction action, std::int64_t delaySeconds, const Session& session, Answer answer) {
    auto fire = [weak = weak_from_this(), session](PowerAction due) {
        if (auto self = weak.lock()) self->fire(due, session);
    };
    services_.sleepTimer->schedule(action, static_cast<double>(delaySeconds), services_.sleepWarning, std::move(fire));
    // The phones see the pending action before the answer.
    auto answered = [answer = std::move(answer)] { answer(CommandOutcome::success()); };
    session->pushStatusIfChanged(true, std::move(answered));
}

void SystemController::fire(PowerAction action, const Session& session) {
    // Control may have been paused and the action disallowed since it was scheduled: both are asked anew.
    auto pushed = [session] { session->pushStatusIfChanged(true); };
    auto checkPolicy = [weak = weak_from_this(), action, session, pushed](HelperPreferences preferences) {
        auto self = weak.lock();
        if (!self || !PowerPolicy::isAllowed(action, preferences)) {
            Log::notice(controllerLogCategory,
                        "Delayed power action " + std::string(caseName(action)) + " no longer allowed");
            return pushed();
        }
        auto ran = [pushed](const CommandOutcome&) { pushed(); };
        self->execute(action, std::move(ran));
    };
    auto checkPause = [session, checkPolicy = std::move(checkPolicy), pushed](bool paused) mutable {
        if (paused) return pushed();
        session->currentPreferences(std::move(checkPolicy));
    };
    session->isPaused(std::move(checkPause));
}

void SystemController::execute(PowerAction action, Answer answer) {
    Log::info(controllerLogCategory, "Power action " + std::string(caseName(action)));
    // A lock goes to the session's locker, never through keys; it still needs the right to post input.
    if (action == PowerAction::lock && services_.canPostEvents && !services_.canPostEvents())
        return answer(CommandOutcome::failure(ErrorCode::permissionMissing, std::nullopt));
    services_.power->run(action, std::move(answer));
}

} // namespace orvik::helper
