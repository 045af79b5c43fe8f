// Conversions between code page 936 (the system ANSI code page), UTF-16LE
// held in Bytes, and other code pages by their platform numbers.
#pragma once

#include "text/types.h"

namespace varnelo {

inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageAnsi = kCodePageGbk;

// `text` decoded from code page 936 as UTF-16LE ending in one zero unit;
// empty Bytes for empty text.
Bytes toUtf16Bytes(const Text& text);

// UTF-16LE `data` (an odd last byte ignored) as code page 936 text, up to the
// first zero unit; characters 936 cannot hold become "?".
Text fromUtf16Bytes(const Bytes& data);

// `text` decoded from `codePage` as UTF-16LE ending in one zero unit.
Bytes decodeToUtf16(const Text& text, int codePage);

// UTF-16LE `data`, up to its first zero unit, encoded into `codePage`.
Text encodeFromUtf16(const Bytes& data, int codePage);

// The UTF-8 form of the GBK `text`.
Text gbkToUtf8(const Text& text);

}  // namespace varnelo
