#include "X11KeymapTrace.hpp"

#include "X11EventRecorder.hpp"

#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <byteswap.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace orvik::test {

namespace {

// Generous: the server answers at once unless the machine is badly overloaded.
constexpr std::chrono::seconds startLimit{10};
constexpr std::chrono::seconds endLimit{2};

} // namespace

std::string X11KeymapTrace::Press::text(unsigned state) const {
    auto level = [&](std::size_t index) -> KeySym { return index < keysyms.size() ? keysyms[index] : NoSymbol; };
    KeySym keysym = level(0);
    if (state & ShiftMask) {
        // A keycode with one symbol types its upper case with Shift (the core protocol's rule for letters).
        KeySym lower = NoSymbol;
        KeySym upper = NoSymbol;
        XConvertCase(keysym, &lower, &upper);
        keysym = level(1) != NoSymbol ? level(1) : upper;
    }
    return helper::x11test::X11EventRecorder::utf8(keysym);
}

X11KeymapTrace::X11KeymapTrace() {
    control_ = XOpenDisplay(nullptr);
    data_ = XOpenDisplay(nullptr);
    if (!control_ || !data_) throw std::runtime_error("no X display");
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(control_, &major, &minor)) throw std::runtime_error("the X server has no RECORD");

    XRecordRange* range = XRecordAllocRange();
    range->core_requests.first = X_ChangeKeyboardMapping;
    range->core_requests.last = X_ChangeKeyboardMapping;
    range->device_events.first = KeyPress;
    range->device_events.last = KeyPress;
    XRecordClientSpec clients = XRecordAllClients;
    context_ = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(control_, False);
    if (!context_ ||
        !XRecordEnableContextAsync(data_, context_, &X11KeymapTrace::intercept, reinterpret_cast<XPointer>(this))) {
        throw std::runtime_error("cannot record the X server");
    }
    const auto deadline = std::chrono::steady_clock::now() + startLimit;
    while (!started_) {
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("recording did not start");
        processPending(100);
    }
    // Read after recording started: a change made in between is replayed over it, which changes nothing.
    readInitialMap();
}

X11KeymapTrace::~X11KeymapTrace() {
    if (context_) {
        XRecordDisableContext(control_, context_);
        XSync(control_, False);
        const auto deadline = std::chrono::steady_clock::now() + endLimit;
        while (started_ && std::chrono::steady_clock::now() < deadline) processPending(50);
        XRecordFreeContext(control_, context_);
    }
    if (data_) XCloseDisplay(data_);
    if (control_) XCloseDisplay(control_);
}

const std::vector<X11KeymapTrace::Press>& X11KeymapTrace::presses() {
    processPending(0);
    return presses_;
}

void X11KeymapTrace::processPending(int waitMilliseconds) {
    pollfd descriptor{ConnectionNumber(data_), POLLIN, 0};
    ::poll(&descriptor, 1, waitMilliseconds);
    XRecordProcessReplies(data_);
}

void X11KeymapTrace::intercept(XPointer self, XRecordInterceptData* data) {
    auto* trace = reinterpret_cast<X11KeymapTrace*>(self);
    switch (data->category) {
    case XRecordStartOfData: trace->started_ = true; break;
    case XRecordEndOfData: trace->started_ = false; break;
    case XRecordFromClient: trace->requestFromClient(*data); break;
    case XRecordFromServer: trace->eventFromServer(*data); break;
    default: break;
    }
    XRecordFreeData(data);
}

void X11KeymapTrace::requestFromClient(const XRecordInterceptData& data) {
    const std::size_t size = data.data_len * 4;
    xChangeKeyboardMappingReq request;
    if (size < sizeof request) return;
    std::memcpy(&request, data.data, sizeof request);
    if (request.reqType != X_ChangeKeyboardMapping) return;
    const std::size_t perKeycode = request.keySymsPerKeyCode;
    if (size < sizeof request + std::size_t{request.keyCodes} * perKeycode * 4) return;
    const unsigned char* symbols = data.data + sizeof request;
    for (std::size_t index = 0; index < request.keyCodes; ++index) {
        auto& row = map_[(request.firstKeyCode + index) % map_.size()];
        row.assign(perKeycode, NoSymbol);
        for (std::size_t level = 0; level < perKeycode; ++level) {
            std::uint32_t keysym = 0;
            std::memcpy(&keysym, symbols + (index * perKeycode + level) * 4, 4);
            row[level] = data.client_swapped ? bswap_32(keysym) : keysym;
        }
    }
}

void X11KeymapTrace::eventFromServer(const XRecordInterceptData& data) {
    if (data.data_len * 4 < sizeof(xEvent)) return;
    const int type = data.data[0] & 0x7F;
    if (type != KeyPress) return;
    const unsigned keycode = data.data[1];
    presses_.push_back({keycode, map_[keycode]});
}

void X11KeymapTrace::readInitialMap() {
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(control_, &minKeycode, &maxKeycode);
    int perKeycode = 0;
    KeySym* symbols =
        XGetKeyboardMapping(control_, static_cast<KeyCode>(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
    if (!symbols) throw std::runtime_error("cannot read the keyboard map");
    for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
        const KeySym* row = symbols + static_cast<std::ptrdiff_t>(keycode - minKeycode) * perKeycode;
        map_[static_cast<std::size_t>(keycode)].assign(row, row + perKeycode);
    }
    XFree(symbols);
}

} // namespace orvik::test
