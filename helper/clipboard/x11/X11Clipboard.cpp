#include "clipboard/x11/X11Clipboard.hpp"

#include "core/Log.hpp"

#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>

#include <algorithm>
#include <array>

namespace orvik::helper {

namespace {

constexpr const char* logCategory = "Clipboard";

Window createWindow(Display* display) {
    // Never mapped: it only owns the selection and receives converted data in its properties.
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    return window;
}

} // namespace

std::unique_ptr<X11Clipboard> X11Clipboard::open(const std::string& displayName, const ClipboardLimits& limits,
                                                 const ChangeCounts& startCounts) {
    auto x11 = X11Display::open(displayName);
    if (!x11) return nullptr;
    int eventBase = 0;
    int errorBase = 0;
    int major = 5;
    int minor = 0;
    if (!XFixesQueryExtension(x11->get(), &eventBase, &errorBase) || !XFixesQueryVersion(x11->get(), &major, &minor)) {
        Log::error(logCategory, "Clipboard unavailable: the X server lacks XFixes");
        return nullptr;
    }
    return std::unique_ptr<X11Clipboard>(new X11Clipboard(std::move(x11), eventBase, limits, startCounts));
}

X11Clipboard::X11Clipboard(std::unique_ptr<X11Display> display, int fixesEventBase, const ClipboardLimits& limits,
                           const ChangeCounts& startCounts)
    : x11_(std::move(display)), display_(x11_->get()), fixesEventBase_(fixesEventBase), limits_(limits),
      window_(createWindow(display_)), timestampProperty_(x11_->atom("ORVIK_TIMESTAMP")),
      selections_{Selection{x11_->atom("CLIPBOARD"), ClipboardChangeCount(startCounts[0])},
                  Selection{x11_->atom("PRIMARY"), ClipboardChangeCount(startCounts[1])}},
      reader_(
          *x11_, window_,
          [this](const std::function<bool()>& done, Clock::time_point deadline) { return pumpUntil(done, deadline); }),
      server_(*x11_, window_, limits) {
    static_assert(indexOf(ClipboardSelection::clipboard) == 0 && indexOf(ClipboardSelection::primary) == 1);
    for (const auto& selection : selections_) {
        XFixesSelectSelectionInput(display_, DefaultRootWindow(display_), selection.atom,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    }
    XSync(display_, False);
}

X11Clipboard::~X11Clipboard() = default;

int X11Clipboard::connectionNumber() const {
    return ConnectionNumber(display_);
}

void X11Clipboard::dispatchPending() {
    while (!isLost() && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        dispatch(event);
    }
}

void X11Clipboard::sync() {
    if (isLost()) return;
    XSync(display_, False);
    dispatchPending();
}

bool X11Clipboard::pumpUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!isLost()) {
        dispatchPending();
        if (done()) return true;
        auto now = Clock::now();
        if (now >= deadline) return false;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        pollfd connection{ConnectionNumber(display_), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(std::max<std::int64_t>(wait.count(), 1)));
    }
    return false;
}

void X11Clipboard::dispatch(XEvent& event) {
    if (event.type == fixesEventBase_ + XFixesSelectionNotify) {
        ownerChanged(event);
        return;
    }
    switch (event.type) {
    case SelectionRequest: server_.handleRequest(event.xselectionrequest); break;
    case SelectionClear: {
        // A clear may be older than a write of ours that followed it: only the server knows who owns now.
        Atom selection = event.xselectionclear.selection;
        if (stateOf(selection) != nullptr && XGetSelectionOwner(display_, selection) != window_)
            server_.disown(selection);
        break;
    }
    case SelectionNotify: reader_.handle(event); break;
    case PropertyNotify:
        if (event.xproperty.window == window_) {
            if (event.xproperty.atom == timestampProperty_ && event.xproperty.state == PropertyNewValue)
                timestampSeen_ = event.xproperty.time;
            reader_.handle(event);
        } else {
            server_.handlePropertyNotify(event.xproperty);
        }
        break;
    default: break;
    }
}

void X11Clipboard::ownerChanged(const XEvent& event) {
    const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
    Selection* selection = stateOf(notify.selection);
    if (selection == nullptr) return;
    if (notify.subtype == XFixesSetSelectionOwnerNotify)
        selection->count.ownerChanged({notify.owner, notify.selection_timestamp});
    else
        selection->count.ownerGone();
}

X11Clipboard::Selection* X11Clipboard::stateOf(Atom selection) {
    auto found = std::find_if(selections_.begin(), selections_.end(),
                              [selection](const Selection& candidate) { return candidate.atom == selection; });
    return found == selections_.end() ? nullptr : &*found;
}

Time X11Clipboard::serverTime() {
    // ICCCM asks for a real server time when taking or converting a selection: appending nothing to a
    // property of our own makes the server report its current time.
    timestampSeen_.reset();
    static constexpr unsigned char nothing = 0;
    XChangeProperty(display_, window_, timestampProperty_, XA_INTEGER, 8, PropModeAppend, &nothing, 0);
    if (pumpUntil([this] { return timestampSeen_.has_value(); }, Clock::now() + serverTimeWait)) return *timestampSeen_;
    return CurrentTime;
}

PasteboardSnapshot X11Clipboard::snapshot(ClipboardSelection which) {
    sync();
    if (isLost()) return {};
    if (const auto* content = owned(which)) return content->snapshot();
    const Atom selection = state(which).atom;
    if (XGetSelectionOwner(display_, selection) == None) return {};
    Time time = serverTime();
    auto deadline = Clock::now() + limits_.snapshotTime;
    auto conversionDeadline = [&] { return std::min(deadline, Clock::now() + limits_.conversionTime); };

    // An owner that does not list its targets still answers the text targets.
    auto offered = reader_.targets(selection, time, conversionDeadline());
    std::vector<Atom> candidates = offered ? *offered
                                           : std::vector<Atom>{x11_->atom(ClipboardContent::utf8StringTarget),
                                                               x11_->atom(ClipboardContent::stringTarget)};

    PasteboardSnapshot::Item item;
    std::size_t total = 0;
    for (Atom atom : candidates) {
        if (Clock::now() >= deadline || item.size() >= limits_.maxTargets) break;
        std::string name = x11_->atomName(atom);
        if (!isSnapshotTarget(name) || item.contains(name)) continue;
        std::size_t budget = std::min(limits_.maxTargetBytes, limits_.maxSnapshotBytes - total);
        auto data = reader_.read(selection, atom, time, budget, conversionDeadline());
        if (!data) continue;
        total += data->size();
        item.emplace(std::move(name), std::move(*data));
    }
    PasteboardSnapshot result;
    if (!item.empty()) result.items.push_back(std::move(item));
    return result;
}

std::optional<std::string> X11Clipboard::text(ClipboardSelection which) {
    sync();
    if (isLost()) return std::nullopt;
    if (const auto* content = owned(which)) return content->text();
    const Atom selection = state(which).atom;
    if (XGetSelectionOwner(display_, selection) == None) return std::nullopt;
    Time time = serverTime();
    auto deadline = Clock::now() + limits_.conversionTime;
    static constexpr std::array<std::string_view, 3> textTargets{
        ClipboardContent::utf8StringTarget, PasteboardSnapshot::plainTextType, ClipboardContent::stringTarget};
    for (auto target : textTargets) {
        auto data = reader_.read(selection, x11_->atom(target), time, limits_.maxTargetBytes, deadline);
        if (!data) continue;
        return target == ClipboardContent::stringTarget ? utf8FromLatin1(*data) : wellFormedUtf8(*data);
    }
    return std::nullopt;
}

std::int64_t X11Clipboard::write(ClipboardSelection which, ClipboardContent content) {
    // Changes made before ours are counted first, so a restore never mistakes them for later ones.
    sync();
    Selection& selection = state(which);
    if (isLost()) return selection.count.value();
    Time time = serverTime();
    if (time == CurrentTime) return selection.count.value();
    XSetSelectionOwner(display_, selection.atom, window_, time);
    if (XGetSelectionOwner(display_, selection.atom) != window_) {
        Log::error(logCategory, "Clipboard write failed: the selection was not taken");
        return selection.count.value();
    }
    server_.own(selection.atom, std::move(content), time);
    return selection.count.recordOwnChange({window_, time});
}

void X11Clipboard::restore(ClipboardSelection which, const PasteboardSnapshot& snapshot, std::int64_t changeCount) {
    sync();
    if (isLost() || changeCount != this->changeCount(which)) return;
    auto content = ClipboardContent::fromSnapshot(snapshot);
    if (content.targets.empty()) {
        if (owned(which) != nullptr) release(which);
        return;
    }
    write(which, std::move(content));
}

void X11Clipboard::release(ClipboardSelection which) {
    Time time = serverTime();
    if (time == CurrentTime) return;
    Selection& selection = state(which);
    XSetSelectionOwner(display_, selection.atom, None, time);
    server_.disown(selection.atom);
    selection.count.recordOwnChange({None, time});
}

} // namespace orvik::helper
