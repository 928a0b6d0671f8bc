#include "clipboard/x11/X11SelectionServer.hpp"

#include <X11/Xatom.h>

#include <algorithm>

namespace orvik::helper {

namespace {

// A chunk stays well inside the smallest request size servers accept, and small enough to keep other
// requestors waiting only briefly.
constexpr std::size_t maxChunkBytes = 256 * 1024;
constexpr std::size_t requestHeaderBytes = 1024;

} // namespace

X11SelectionServer::X11SelectionServer(X11Display& display, Window window, const ClipboardLimits& limits)
    : x11_(display), display_(display.get()), window_(window), limits_(limits) {}

void X11SelectionServer::own(Atom selection, ClipboardContent content, Time time) {
    owned_.insert_or_assign(selection, Owned{std::move(content), time});
}

void X11SelectionServer::disown(Atom selection) {
    owned_.erase(selection);
}

const ClipboardContent* X11SelectionServer::content(Atom selection) const {
    auto found = owned_.find(selection);
    return found == owned_.end() ? nullptr : &found->second.content;
}

void X11SelectionServer::handleRequest(const XSelectionRequestEvent& request) {
    // Clients from before ICCCM send no property: the target's own atom stands in for it.
    Atom property = request.property == None ? request.target : request.property;
    auto owned = owned_.find(request.selection);
    bool current = owned != owned_.end() && (request.time == CurrentTime || owned->second.since == CurrentTime ||
                                             request.time >= owned->second.since);
    sendNotify(request, current && answer(request, owned->second, property) ? property : None);
}

bool X11SelectionServer::answer(const XSelectionRequestEvent& request, const Owned& owned, Atom property) {
    if (request.target == x11_.atom("TARGETS")) {
        std::vector<Atom> targets{x11_.atom("TARGETS"), x11_.atom("TIMESTAMP")};
        for (const auto& target : owned.content.targets) targets.push_back(x11_.atom(target.name));
        XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(targets.data()), static_cast<int>(targets.size()));
        return true;
    }
    if (request.target == x11_.atom("TIMESTAMP")) {
        long time = static_cast<long>(owned.since);
        XChangeProperty(display_, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&time), 1);
        return true;
    }
    std::string name = x11_.atomName(request.target);
    const ClipboardTarget* target = name.empty() ? nullptr : owned.content.find(name);
    return target != nullptr && answerTarget(*target, request.requestor, property);
}

bool X11SelectionServer::answerTarget(const ClipboardTarget& target, Window requestor, Atom property) {
    Atom type = x11_.atom(target.type);
    const Bytes& data = *target.data;
    if (data.size() <= chunkBytes()) {
        XChangeProperty(display_, requestor, property, type, 8, PropModeReplace, data.data(),
                        static_cast<int>(data.size()));
        return true;
    }
    if (transfers_.size() >= limits_.maxTransfers) return false;
    // Watch the requestor's window before announcing INCR, or its first delete could pass unseen. Our own
    // window already reports property changes, and its event mask must stay as it is.
    if (requestor != window_) XSelectInput(display_, requestor, PropertyChangeMask);
    long size = static_cast<long>(data.size());
    XChangeProperty(display_, requestor, property, x11_.atom("INCR"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    transfers_.push_back({requestor, property, type, target.data, 0, Clock::now() + limits_.transferIdleTime});
    return true;
}

void X11SelectionServer::sendNotify(const XSelectionRequestEvent& request, Atom property) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = display_;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
    XFlush(display_);
}

void X11SelectionServer::handlePropertyNotify(const XPropertyEvent& event) {
    if (event.state != PropertyDelete) return;
    auto transfer = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
        return t.requestor == event.window && t.property == event.atom;
    });
    if (transfer == transfers_.end()) return;
    const Bytes& data = *transfer->data;
    std::size_t length = std::min(chunkBytes(), data.size() - transfer->offset);
    // The last chunk is empty: it tells the requestor the transfer is complete.
    XChangeProperty(display_, transfer->requestor, transfer->property, transfer->type, 8, PropModeReplace,
                    data.data() + transfer->offset, static_cast<int>(length));
    XFlush(display_);
    transfer->offset += length;
    transfer->deadline = Clock::now() + limits_.transferIdleTime;
    if (length == 0) endTransfer(transfer);
}

void X11SelectionServer::expireTransfers(Clock::time_point now) {
    for (auto transfer = transfers_.begin(); transfer != transfers_.end();) {
        if (transfer->deadline <= now) {
            endTransfer(transfer);
            transfer = transfers_.begin();
        } else {
            ++transfer;
        }
    }
}

std::optional<X11SelectionServer::Clock::time_point> X11SelectionServer::nextDeadline() const {
    if (transfers_.empty()) return std::nullopt;
    return std::min_element(transfers_.begin(), transfers_.end(),
                            [](const auto& a, const auto& b) { return a.deadline < b.deadline; })
        ->deadline;
}

void X11SelectionServer::endTransfer(std::vector<Transfer>::iterator transfer) {
    Window requestor = transfer->requestor;
    transfers_.erase(transfer);
    bool stillServed =
        std::any_of(transfers_.begin(), transfers_.end(), [&](const Transfer& t) { return t.requestor == requestor; });
    if (!stillServed && requestor != window_) XSelectInput(display_, requestor, NoEventMask);
}

std::size_t X11SelectionServer::chunkBytes() const {
    long units = XExtendedMaxRequestSize(display_);
    if (units == 0) units = XMaxRequestSize(display_);
    std::size_t requestBytes = static_cast<std::size_t>(units) * 4;
    return std::min(maxChunkBytes,
                    requestBytes > 2 * requestHeaderBytes ? requestBytes - requestHeaderBytes : requestHeaderBytes);
}

} // namespace orvik::helper
