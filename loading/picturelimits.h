// How much of a picture this program accepts, for every way of loading one:
// its size in pixels (grob::kMaxSide, grob::kMaxPixels and grob::TooLarge,
// in grob/checks.h with the refusal's words), and its file's size.
#pragma once

#include "grob/checks.h"

#include <cstdint>

namespace loading {

constexpr std::int64_t kMaxFileBytes = 256LL * 1024 * 1024; // bytes of a picture file

} // namespace loading
