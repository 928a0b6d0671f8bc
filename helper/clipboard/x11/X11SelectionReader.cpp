#include "clipboard/x11/X11SelectionReader.hpp"

#include <X11/Xatom.h>

#include <climits>
#include <string>
#include <utility>

namespace orvik::helper {

X11SelectionReader::X11SelectionReader(X11Display& display, Window window, Pump pump)
    : x11_(display), display_(display.get()), window_(window), pump_(std::move(pump)) {}

void X11SelectionReader::handle(const XEvent& event) {
    if (!pending_) return;
    if (event.type == SelectionNotify) {
        const auto& notify = event.xselection;
        // Owners are asked to echo the request's time, but not all do: the target and property identify it.
        if (notify.requestor != window_ || notify.selection != pending_->selection || notify.target != pending_->target)
            return;
        if (notify.property != None && notify.property != pending_->property) return;
        pending_->answered = true;
        pending_->answeredProperty = notify.property;
    } else if (event.type == PropertyNotify) {
        const auto& property = event.xproperty;
        if (property.window == window_ && property.atom == pending_->property && property.state == PropertyNewValue)
            pending_->chunkReady = true;
    }
}

std::optional<std::vector<Atom>> X11SelectionReader::targets(Atom selection, Time time, Clock::time_point deadline) {
    auto value = convert(selection, x11_.atom("TARGETS"), time, maxTargetsBytes, deadline);
    if (!value || value->format != 32) return std::nullopt;
    return std::vector<Atom>(value->longs.begin(), value->longs.end());
}

std::optional<Bytes> X11SelectionReader::read(Atom selection, Atom target, Time time, std::size_t maxBytes,
                                              Clock::time_point deadline) {
    auto value = convert(selection, target, time, maxBytes, deadline);
    if (!value || value->format != 8) return std::nullopt;
    return std::move(value->bytes);
}

std::optional<X11SelectionReader::Value> X11SelectionReader::convert(Atom selection, Atom target, Time time,
                                                                     std::size_t maxBytes, Clock::time_point deadline) {
    Atom property = nextProperty();
    XDeleteProperty(display_, window_, property);
    pending_ = Pending{selection, target, property};
    XConvertSelection(display_, selection, target, property, window_, time);
    struct Done {
        std::optional<Pending>& pending;
        ~Done() { pending.reset(); }
    } done{pending_};

    if (!pump_([this] { return pending_->answered; }, deadline)) return std::nullopt;
    if (pending_->answeredProperty == None) return std::nullopt;
    Value value;
    // The owner wrote the property before it answered; a chunk signal from that write is no chunk.
    pending_->chunkReady = false;
    if (readProperty(property, maxBytes, value) != PropertyRead::read) return std::nullopt;
    if (value.type == x11_.atom("INCR")) return receiveIncrementally(std::move(value), maxBytes, deadline);
    return value;
}

std::optional<X11SelectionReader::Value> X11SelectionReader::receiveIncrementally(Value first, std::size_t maxBytes,
                                                                                  Clock::time_point deadline) {
    // Deleting the INCR property (done by reading it) asks for the first chunk; each chunk read asks for the
    // next; an empty chunk ends the transfer. Abandoning leaves the last chunk in place, so the owner stops.
    if (first.format == 32 && !first.longs.empty() && first.longs.front() > maxBytes) return std::nullopt;
    Value result;
    result.format = 8;
    while (true) {
        if (!pump_([this] { return pending_->chunkReady; }, deadline)) return std::nullopt;
        pending_->chunkReady = false;
        Value chunk;
        auto outcome = readProperty(pending_->property, maxBytes - result.bytes.size(), chunk);
        if (outcome == PropertyRead::absent) continue;
        if (outcome == PropertyRead::tooLarge || chunk.format != 8) return std::nullopt;
        if (chunk.bytes.empty()) return result;
        result.type = chunk.type;
        result.bytes.insert(result.bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
    }
}

X11SelectionReader::PropertyRead X11SelectionReader::readProperty(Atom property, std::size_t maxBytes, Value& value) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    // Lengths are in 32-bit units; one unit more than the limit tells whether the data exceeds it.
    long units = static_cast<long>(std::min<std::size_t>(maxBytes / 4 + 1, LONG_MAX / 4));
    int status = XGetWindowProperty(display_, window_, property, 0, units, True, AnyPropertyType, &type, &format,
                                    &count, &remaining, &data);
    struct Release {
        unsigned char* data;
        ~Release() {
            if (data) XFree(data);
        }
    } release{data};
    if (status != Success || type == None) return PropertyRead::absent;
    if (remaining > 0) return PropertyRead::tooLarge;
    value.type = type;
    value.format = format;
    if (format == 8) {
        if (count > maxBytes) return PropertyRead::tooLarge;
        value.bytes.assign(data, data + count);
    } else if (format == 32) {
        // Xlib hands 32-bit items over as longs.
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        value.longs.assign(items, items + count);
    }
    return PropertyRead::read;
}

Atom X11SelectionReader::nextProperty() {
    int index = nextPropertyIndex_;
    nextPropertyIndex_ = (nextPropertyIndex_ + 1) % propertyCount;
    return x11_.atom("ORVIK_SELECTION_" + std::to_string(index));
}

} // namespace orvik::helper
