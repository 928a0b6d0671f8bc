#include "orvik/protocol/messages/InputMessages.hpp"

#include "BinaryPayload.hpp"

#include "orvik/protocol/coding/ByteWriter.hpp"

namespace orvik {

using binary::exactReader;
using binary::readEnum;

Bytes PointerMove::encode() const {
    ByteWriter writer(wireSize);
    writer.writeF32(dx);
    writer.writeF32(dy);
    writer.writeU32(sequence);
    return std::move(writer).bytes();
}

PointerMove PointerMove::decode(ByteView payload) {
    auto reader = exactReader(payload, wireSize, "pointerMove");
    PointerMove move;
    move.dx = reader.readF32();
    move.dy = reader.readF32();
    move.sequence = reader.readU32();
    return move;
}

Bytes ButtonEvent::encode() const {
    ByteWriter writer(wireSize);
    writer.writeU8(static_cast<std::uint8_t>(button));
    writer.writeU8(static_cast<std::uint8_t>(action));
    return std::move(writer).bytes();
}

ButtonEvent ButtonEvent::decode(ByteView payload) {
    auto reader = exactReader(payload, wireSize, "button");
    ButtonEvent event;
    event.button = readEnum<MouseButton>(reader, "mouse button");
    event.action = readEnum<ButtonAction>(reader, "button action");
    return event;
}

Bytes ScrollEvent::encode() const {
    ByteWriter writer(wireSize);
    writer.writeF32(dx);
    writer.writeF32(dy);
    writer.writeU8(static_cast<std::uint8_t>(phase));
    writer.writeU8(static_cast<std::uint8_t>(momentum));
    return std::move(writer).bytes();
}

ScrollEvent ScrollEvent::decode(ByteView payload) {
    auto reader = exactReader(payload, wireSize, "scroll");
    ScrollEvent event;
    event.dx = reader.readF32();
    event.dy = reader.readF32();
    event.phase = readEnum<ScrollPhase>(reader, "scroll phase");
    event.momentum = readEnum<MomentumPhase>(reader, "momentum phase");
    return event;
}

Bytes KeyEvent::encode() const {
    ByteWriter writer(wireSize);
    writer.writeU16(keyCode);
    writer.writeU32(modifiers.rawValue);
    writer.writeU8(static_cast<std::uint8_t>(action));
    return std::move(writer).bytes();
}

KeyEvent KeyEvent::decode(ByteView payload) {
    auto reader = exactReader(payload, wireSize, "key");
    KeyEvent event;
    event.keyCode = reader.readU16();
    event.modifiers = ModifierFlags(reader.readU32());
    event.action = readEnum<KeyAction>(reader, "key action");
    return event;
}

namespace {
Bytes encodeU64(std::uint64_t value) {
    ByteWriter writer(8);
    writer.writeU64(value);
    return std::move(writer).bytes();
}
} // namespace

Bytes Ping::encode() const {
    return encodeU64(value);
}
Ping Ping::decode(ByteView payload) {
    return Ping{exactReader(payload, wireSize, "ping").readU64()};
}
Bytes Pong::encode() const {
    return encodeU64(value);
}
Pong Pong::decode(ByteView payload) {
    return Pong{exactReader(payload, wireSize, "pong").readU64()};
}

Bytes PointerAbsolute::encode() const {
    ByteWriter writer(wireSize);
    writer.writeU32(displayID);
    writer.writeF32(x);
    writer.writeF32(y);
    writer.writeU32(sequence);
    return std::move(writer).bytes();
}

PointerAbsolute PointerAbsolute::decode(ByteView payload) {
    auto reader = exactReader(payload, wireSize, "pointerAbsolute");
    PointerAbsolute position;
    position.displayID = reader.readU32();
    position.x = reader.readF32();
    position.y = reader.readF32();
    position.sequence = reader.readU32();
    return position;
}

} // namespace orvik
