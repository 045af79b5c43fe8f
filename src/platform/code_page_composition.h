// The canonical compositions of Unicode that join a base character and one
// non-spacing mark into a precomposed character, both in the Basic
// Multilingual Plane; used by the composite check of wide to multi-byte
// conversion.
#pragma once

namespace varnelo::platform {

// The precomposed character for `base` followed by the non-spacing `mark`,
// or 0 when Unicode has none.
char16_t precomposedOf(char16_t base, char16_t mark);

}  // namespace varnelo::platform
