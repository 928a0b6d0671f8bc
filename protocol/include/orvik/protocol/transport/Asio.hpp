#pragma once

// The one way the protocol library includes Asio, so every translation unit sees the same configuration.

// clang has C++20 coroutines (and libstdc++ provides <coroutine>), but Asio 1.22 looks for them in
// <experimental/coroutine> under clang and would leave awaitables out.
#if defined(__clang__) && !defined(ASIO_HAS_CO_AWAIT) && defined(__cpp_impl_coroutine)
#define ASIO_HAS_CO_AWAIT 1
#endif

// clang 14 cannot apply -fsanitize=function (part of UBSan, which the fuzz build uses) to coroutines: the
// assembler stops with "Cannot represent a difference across sections". Code with coroutines sits between
// these two markers.
#if defined(__clang__)
#define ORVIK_COROUTINE_CODE_BEGIN                                                                                     \
    _Pragma("clang attribute push(__attribute__((no_sanitize(\"function\"))), apply_to = function)")
#define ORVIK_COROUTINE_CODE_END _Pragma("clang attribute pop")
#else
#define ORVIK_COROUTINE_CODE_BEGIN
#define ORVIK_COROUTINE_CODE_END
#endif

ORVIK_COROUTINE_CODE_BEGIN
#include <asio.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/ssl.hpp>
ORVIK_COROUTINE_CODE_END
