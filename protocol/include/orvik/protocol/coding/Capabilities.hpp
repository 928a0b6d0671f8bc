#pragma once

#include "orvik/protocol/coding/OptionSet.hpp"

#include <cstdint>

namespace orvik {

// The features a helper offers, announced in the handshake replies. Receivers keep bits they do not know.
struct Capabilities : OptionSet<Capabilities, std::uint64_t> {
    using OptionSet::OptionSet;

    static const Capabilities pointer;
    static const Capabilities keyboard;
    static const Capabilities textPaste;
    static const Capabilities media;
    static const Capabilities volumeSet;
    static const Capabilities presentation;
    static const Capabilities overlay;
    static const Capabilities powerBasic;
    static const Capabilities powerAdvanced;
    static const Capabilities sleepTimer;
    static const Capabilities apps;
    static const Capabilities appQuit;
    static const Capabilities shortcuts;
    static const Capabilities clipboard;
    static const Capabilities sendURL;
    static const Capabilities scrollPhases;
    static const Capabilities screenStream;
    static const Capabilities pointerAbsolute;
    static const Capabilities screenHEVC;
};

inline constexpr Capabilities Capabilities::pointer{std::uint64_t{1} << 0};
inline constexpr Capabilities Capabilities::keyboard{std::uint64_t{1} << 1};
inline constexpr Capabilities Capabilities::textPaste{std::uint64_t{1} << 2};
inline constexpr Capabilities Capabilities::media{std::uint64_t{1} << 3};
inline constexpr Capabilities Capabilities::volumeSet{std::uint64_t{1} << 4};
inline constexpr Capabilities Capabilities::presentation{std::uint64_t{1} << 5};
inline constexpr Capabilities Capabilities::overlay{std::uint64_t{1} << 6};
inline constexpr Capabilities Capabilities::powerBasic{std::uint64_t{1} << 7};
inline constexpr Capabilities Capabilities::powerAdvanced{std::uint64_t{1} << 8};
inline constexpr Capabilities Capabilities::sleepTimer{std::uint64_t{1} << 9};
inline constexpr Capabilities Capabilities::apps{std::uint64_t{1} << 10};
inline constexpr Capabilities Capabilities::appQuit{std::uint64_t{1} << 11};
inline constexpr Capabilities Capabilities::shortcuts{std::uint64_t{1} << 12};
inline constexpr Capabilities Capabilities::clipboard{std::uint64_t{1} << 13};
inline constexpr Capabilities Capabilities::sendURL{std::uint64_t{1} << 14};
inline constexpr Capabilities Capabilities::scrollPhases{std::uint64_t{1} << 15};
inline constexpr Capabilities Capabilities::screenStream{std::uint64_t{1} << 16};
inline constexpr Capabilities Capabilities::pointerAbsolute{std::uint64_t{1} << 17};
inline constexpr Capabilities Capabilities::screenHEVC{std::uint64_t{1} << 18};

} // namespace orvik
