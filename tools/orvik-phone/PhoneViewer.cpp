#include "PhoneViewer.hpp"

namespace orvik::phone {

namespace {

constexpr std::uint32_t displaysRequestID = 1;
constexpr std::size_t lengthFieldSize = 4;
constexpr std::uint8_t startCode[] = {0, 0, 0, 1};

} // namespace

PhoneViewer::PhoneViewer(asio::any_io_executor executor, ViewOptions options, PhoneOutput& output, Send send,
                         std::function<void()> finished)
    : options_(std::move(options)), output_(output), send_(std::move(send)), finished_(std::move(finished)),
      executor_(executor), deadline_(executor) {
    if (!options_.outputPath.empty()) file_.open(options_.outputPath, std::ios::binary | std::ios::trunc);
}

void PhoneViewer::begin() {
    send_(ScreenDisplaysRequest{{displaysRequestID}});
    deadline_.expires_after(options_.duration);
    deadline_.async_wait([weak = weak_from_this()](asio::error_code error) {
        auto self = weak.lock();
        if (self && !error) self->finish();
    });
}

bool PhoneViewer::received(const OrvikMessage& message) {
    if (done_) return message.get<ScreenFrame>() != nullptr;
    if (auto* displays = message.get<ScreenDisplays>(); displays && !started_) {
        started_ = true;
        send_(ScreenStart{options_.displayID, options_.settings, options_.codecs});
    } else if (auto* format = message.get<ScreenFormat>()) {
        // A new format begins a new stream: an unfinished frame of the old one is dropped.
        parameterSets_ = format->parameterSets;
        assembler_.reset();
    } else if (auto* fragment = message.get<ScreenFrame>()) {
        if (auto frame = assembler_.add(*fragment)) frameComplete(*frame);
        return true;
    }
    return false;
}

void PhoneViewer::frameComplete(const EncodedScreenFrame& frame) {
    ++frames_;
    keyframes_ += frame.isKeyframe ? 1 : 0;
    bytes_ += frame.data.size();
    if (lastSequence_ && frame.sequence != *lastSequence_ + 1) ++gaps_;
    lastSequence_ = frame.sequence;
    output_.event("frame", {{"sequence", frame.sequence},
                            {"keyframe", frame.isKeyframe},
                            {"bytes", frame.data.size()},
                            {"fragments",
                             (frame.data.size() + ScreenFrame::maxFragmentData - 1) / ScreenFrame::maxFragmentData}});
    write(frame);
    acknowledge(ScreenFrameAck{frame.sequence, frame.captureTime});
    if (options_.frames != 0 && frames_ >= options_.frames) finish();
}

void PhoneViewer::acknowledge(const ScreenFrameAck& ack) {
    if (!options_.acks) return;
    if (options_.ackDelay.count() == 0) {
        send_(ack);
        return;
    }
    auto timer = std::make_shared<asio::steady_timer>(executor_, options_.ackDelay);
    timer->async_wait([timer, ack, weak = weak_from_this()](asio::error_code error) {
        auto self = weak.lock();
        if (self && !error && !self->done_) self->send_(ack);
    });
}

// Annex B: every unit after a start code, the parameter sets before each keyframe so that a player can join
// at any keyframe.
void PhoneViewer::write(const EncodedScreenFrame& frame) {
    if (!file_.is_open()) return;
    auto unit = [this](const std::uint8_t* data, std::size_t size) {
        file_.write(reinterpret_cast<const char*>(startCode), sizeof startCode);
        file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    };
    if (frame.isKeyframe) {
        for (const auto& set : parameterSets_) unit(set.data(), set.size());
    }
    for (std::size_t at = 0; at + lengthFieldSize <= frame.data.size();) {
        std::size_t length = 0;
        for (std::size_t i = 0; i < lengthFieldSize; ++i) length = length << 8 | frame.data[at + i];
        at += lengthFieldSize;
        if (length > frame.data.size() - at) break;
        unit(frame.data.data() + at, length);
        at += length;
    }
    file_.flush();
}

void PhoneViewer::finish() {
    if (done_) return;
    done_ = true;
    deadline_.cancel();
    send_(ScreenStop{});
    output_.event("viewEnded", {{"frames", frames_}, {"keyframes", keyframes_}, {"bytes", bytes_}, {"gaps", gaps_}},
                  true);
    file_.close();
    finished_();
}

} // namespace orvik::phone
