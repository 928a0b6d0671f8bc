#include "orvik/protocol/transport/FrameReader.hpp"

#include <algorithm>

namespace orvik {

void FrameReader::append(ByteView bytes) {
    while (!bytes.empty() && !error_) {
        if (!header_) {
            takeHeader(bytes);
        } else {
            takePayload(bytes);
        }
    }
}

void FrameReader::takeHeader(ByteView& bytes) {
    std::size_t count = std::min(bytes.size(), FrameHeader::size - headerFill_);
    std::copy_n(bytes.begin(), count, headerBytes_.begin() + static_cast<std::ptrdiff_t>(headerFill_));
    headerFill_ += count;
    bytes = bytes.subspan(count);
    if (headerFill_ < FrameHeader::size) return;
    try {
        header_ = FrameHeader::decode(headerBytes_);
    } catch (const DecodingError& error) {
        error_ = error;
        return;
    }
    payload_.reserve(header_->payloadLength);
    if (header_->payloadLength == 0) finishFrame();
}

void FrameReader::takePayload(ByteView& bytes) {
    std::size_t count = std::min<std::size_t>(bytes.size(), header_->payloadLength - payload_.size());
    payload_.insert(payload_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
    bytes = bytes.subspan(count);
    if (payload_.size() == header_->payloadLength) finishFrame();
}

void FrameReader::finishFrame() {
    complete_.push_back(Frame{header_->type, header_->flags, std::move(payload_)});
    payload_ = Bytes();
    header_.reset();
    headerFill_ = 0;
}

std::optional<Frame> FrameReader::next() {
    if (!complete_.empty()) {
        Frame frame = std::move(complete_.front());
        complete_.pop_front();
        return frame;
    }
    if (error_) throw *error_;
    return std::nullopt;
}

} // namespace orvik
