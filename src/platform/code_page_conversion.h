// Our stand-in for the platform's code-page conversions (the multi-byte to
// wide and wide to multi-byte services), built on iconv. Wide text is UTF-16,
// one char16_t per unit. Every function may be called from any number of
// threads at once: each thread keeps its own converters.
#pragma once

#include <string>
#include <string_view>

namespace varnelo::platform {

// The unit that stands for bytes that do not decode.
inline constexpr char16_t kReplacementUnit = 0xFFFD;

// True when `codePage` is a platform code-page number that we can convert.
bool isKnownCodePage(int codePage);

// Appends `input`, decoded from `codePage`, to `output` as UTF-16 units.
// Bytes that do not decode become U+FFFD: in code page 936 a lead byte with a
// byte of the trail range always decodes to one unit (the cells that GBK
// leaves empty decode to the private-use characters the platform gives
// them); a lead byte with any other byte, or at the very end, becomes one
// U+FFFD and the byte after it is decoded on its own. False, with nothing
// appended, only for an unknown code page.
bool multiByteToWide(int codePage, std::string_view input, std::u16string& output);

// Appends `input`, encoded into `codePage`, to `output`. A character that the
// code page cannot hold, and a lone surrogate, becomes the code page's
// default character ("?"; U+FFFD for the Unicode forms). With
// `compositeCheck`, a base character followed by a non-spacing mark is first
// composed into its precomposed character when Unicode has one and the code
// page holds it (repeatedly, so a base with two marks may compose twice);
// otherwise the two are converted separately. False, with nothing appended,
// only for an unknown code page.
bool wideToMultiByte(int codePage, std::u16string_view input, std::string& output,
                     bool compositeCheck = false);

}  // namespace varnelo::platform
