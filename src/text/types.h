// The two string types of the system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnelo {

// Bytes in code page 936 (GBK), never holding a NUL. A byte of 0x80 or above
// together with the byte after it is one two-byte character.
using Text = std::string;

// Counted bytes that may hold NULs: response bodies, pictures, UTF-16 data.
// A distinct type from Text so that the compiler tells the two apart.
using Bytes = std::vector<std::uint8_t>;

// 1-based byte positions; -1 means "not found".
using Pos = std::ptrdiff_t;

inline Bytes bytesOf(const Text& text) { return Bytes(text.begin(), text.end()); }
// The bytes up to, not including, the first zero byte (all of them when
// there is none), as Text.
Text textOf(const Bytes& bytes);

}  // namespace varnelo
