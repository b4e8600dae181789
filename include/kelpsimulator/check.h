// The project's one assertion facility. Invariant checks stay active in every
// build type (they do not depend on NDEBUG): a broken invariant prints the
// condition text and its source location to standard error, then aborts.
#pragma once

namespace Kelp {

[[noreturn]] void checkFailed(const char* condition, const char* file, int line,
                              const char* function) noexcept;

}  // namespace Kelp

// KELP_CHECK(cond): the condition text printed is the expression as written.
#define KELP_CHECK(cond) \
  ((cond) ? static_cast<void>(0) : ::Kelp::checkFailed(#cond, __FILE__, __LINE__, __func__))

// KELP_CHECK_TEXT(cond, text): for checks whose reported condition text is
// fixed independently of the local spelling of the expression.
#define KELP_CHECK_TEXT(cond, text) \
  ((cond) ? static_cast<void>(0) : ::Kelp::checkFailed(text, __FILE__, __LINE__, __func__))
