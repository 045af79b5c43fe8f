// Byte-string operations on Text. Positions count bytes from 1. Every search
// steps through the text one character at a time (a byte of 0x80 or above and
// the byte after it are one character), so nothing is ever found starting on
// the second byte of a two-byte character. All operations are linear in the
// length of the text for a fixed needle.
#pragma once

#include <vector>

#include "text/types.h"

namespace varnelo {

// "#引号" in code page 936. Callers write it in the markers of textBetween
// and, when they ask for it, in a RegexObject pattern, where it stands for one
// double quote.
inline constexpr char kQuoteMarker[] = "#\xD2\xFD\xBA\xC5";

// True when `byte` opens a two-byte character.
inline bool isLeadByte(unsigned char byte) { return byte >= 0x80; }

// Position of the first occurrence of `needle` at or after `start` (1 or less:
// from the first byte; a start on the second byte of a two-byte character:
// from the next character), or -1. An empty needle gives 1 (not `start`) when the
// searched part is not empty, else -1. With `ignoreCase` ASCII letters of
// single-byte characters match either case.
Pos textFind(const Text& text, const Text& needle, Pos start = 1, bool ignoreCase = false);

// Position of the last occurrence of `needle` that ends before byte `before`
// (omitted or out of range: the whole text), or -1.
Pos textFindLast(const Text& text, const Text& needle, Pos before = -1, bool ignoreCase = false);

// True when `needle` occurs anywhere in `text` (see textFind).
inline bool textContains(const Text& text, const Text& needle, bool ignoreCase = false) {
  return textFind(text, needle, 1, ignoreCase) > 0;
}

// `text` with occurrences of `from` replaced by `to`, left to right without
// overlap, starting at `start`, at most `count` times (negative: all). An empty
// `from` changes nothing.
Text textReplace(const Text& text, const Text& from, const Text& to, Pos start = 1,
                 Pos count = -1, bool ignoreCase = false);

// `text` without spaces (0x20) and ideographic spaces (A1 A1) at both ends.
Text textTrim(const Text& text);

// The items of `text` between occurrences of `separator`. An empty text gives
// no items; a separator at the very end adds no empty last item; separators at
// the start or next to each other give empty items. An empty separator gives
// the whole text as one item.
std::vector<Text> textSplit(const Text& text, const Text& separator);

// The first `n` bytes (n <= 0: empty; beyond the length: all).
Text textLeft(const Text& text, Pos n);
// The last `n` bytes (n <= 0: empty; beyond the length: all).
Text textRight(const Text& text, Pos n);
// `n` bytes from 1-based `position` (below 1 counts as 1), cut short at the end.
Text textMiddle(const Text& text, Pos position, Pos n);

// ASCII letters of single-byte characters upper- or lower-cased; every other
// byte, both bytes of a two-byte character included, left alone.
Text textUpper(const Text& text);
Text textLower(const Text& text);

}  // namespace varnelo
