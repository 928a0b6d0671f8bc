#pragma once

#include "PhoneOptions.hpp"
#include "PhoneOutput.hpp"

#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"
#include "orvik/protocol/transport/Asio.hpp"

#include <fstream>
#include <functional>
#include <memory>

namespace orvik::phone {

// The tool as a screen viewer: asks for the displays, starts viewing the chosen one, puts frames back together,
// acknowledges each complete frame as a phone does (at once, later, or never), writes the video as an Annex B
// elementary stream, and stops viewing after a number of frames or a time. Lives on the session's executor.
class PhoneViewer : public std::enable_shared_from_this<PhoneViewer> {
public:
    using Send = std::function<void(const OrvikMessage&)>;

    PhoneViewer(asio::any_io_executor executor, ViewOptions options, PhoneOutput& output, Send send,
                std::function<void()> finished);

    void begin();
    // Takes the screen messages; true for those the tool does not print (the fragments).
    bool received(const OrvikMessage& message);

private:
    void frameComplete(const EncodedScreenFrame& frame);
    void acknowledge(const ScreenFrameAck& ack);
    void write(const EncodedScreenFrame& frame);
    void finish();

    ViewOptions options_;
    PhoneOutput& output_;
    Send send_;
    std::function<void()> finished_;
    asio::any_io_executor executor_;
    asio::steady_timer deadline_;
    ScreenFrameAssembler assembler_;
    std::ofstream file_;
    std::vector<Bytes> parameterSets_;
    std::optional<std::uint32_t> lastSequence_;
    std::uint32_t frames_ = 0, keyframes_ = 0, gaps_ = 0;
    std::uint64_t bytes_ = 0;
    bool started_ = false, done_ = false;
};

} // namespace orvik::phone
