#include "orvik/protocol/messages/ScreenFrame.hpp"

#include "BinaryPayload.hpp"

#include "orvik/protocol/coding/ByteWriter.hpp"

#include <string>

namespace orvik {

Bytes ScreenFrame::encode() const {
    ByteWriter writer(headerSize + data.size());
    writer.writeU32(sequence);
    writer.writeU8(isKeyframe ? 1 : 0);
    writer.writeU16(fragmentIndex);
    writer.writeU16(fragmentCount);
    writer.writeU64(captureTime);
    writer.writeBytes(data);
    return std::move(writer).bytes();
}

ScreenFrame ScreenFrame::decode(ByteView payload) {
    if (payload.size() < headerSize) {
        throw DecodingError::unexpectedLength("screenFrame needs at least " + std::to_string(headerSize) + " bytes");
    }
    if (payload.size() - headerSize > maxFragmentData) {
        throw DecodingError::unexpectedLength("screenFrame fragment of " + std::to_string(payload.size() - headerSize) +
                                              " bytes");
    }
    ByteReader reader(payload);
    ScreenFrame frame;
    frame.sequence = reader.readU32();
    frame.isKeyframe = binary::readFlag(reader, "keyframe flag");
    frame.fragmentIndex = reader.readU16();
    frame.fragmentCount = reader.readU16();
    frame.captureTime = reader.readU64();
    if (frame.fragmentCount == 0 || frame.fragmentCount > maxFragments) {
        throw DecodingError::invalidValue("fragment count " + std::to_string(frame.fragmentCount));
    }
    if (frame.fragmentIndex >= frame.fragmentCount) {
        throw DecodingError::invalidValue("fragment index " + std::to_string(frame.fragmentIndex) + " of " +
                                          std::to_string(frame.fragmentCount));
    }
    frame.data = reader.readBytes(reader.remaining());
    return frame;
}

Bytes ScreenFrameAck::encode() const {
    ByteWriter writer(wireSize);
    writer.writeU32(sequence);
    writer.writeU64(captureTime);
    return std::move(writer).bytes();
}

ScreenFrameAck ScreenFrameAck::decode(ByteView payload) {
    auto reader = binary::exactReader(payload, wireSize, "screenFrameAck");
    ScreenFrameAck ack;
    ack.sequence = reader.readU32();
    ack.captureTime = reader.readU64();
    return ack;
}

} // namespace orvik
