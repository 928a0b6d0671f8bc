#pragma once

#include "TestServerOutput.hpp"

#include "injection/InputSink.hpp"
#include "injection/RecordingSink.hpp"

namespace orvik::testserver {

// Prints each input event as the recording sink takes it, then forgets it.
class PrintingSink final : public helper::InputSink {
public:
    explicit PrintingSink(TestServerOutput& output) : output_(output) {}

    helper::CursorReading cursorLocation() const override { return recording_.cursorLocation(); }
    std::vector<helper::DisplayRect> displayBounds() const override { return recording_.displayBounds(); }
    std::optional<helper::DisplayRect> displayBounds(std::uint32_t id) const override {
        return recording_.displayBounds(id);
    }
    bool isSecureInputEnabled() const override { return recording_.isSecureInputEnabled(); }
    double doubleClickInterval() const override { return recording_.doubleClickInterval(); }

    void postMouse(helper::MouseEventKind kind, std::optional<MouseButton> button, helper::DisplayPoint location,
                   int clickCount, helper::DisplayVector delta) override;
    void postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) override;
    void postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) override;
    void postModifierChange(std::uint16_t keyCode, ModifierFlags flags) override;
    void postUnicode(std::u16string_view units, bool isDown) override;
    void postMediaKey(std::int32_t code, bool isDown) override;

private:
    void flush();

    TestServerOutput& output_;
    helper::RecordingSink recording_;
};

} // namespace orvik::testserver
