#include "text/text_ops.h"

#include <algorithm>
#include <string_view>

namespace varnelo {

Text textOf(const Bytes& bytes) {
  Text text;
  text.reserve(bytes.size());
  for (std::uint8_t byte : bytes) {
    if (byte == 0) break;
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

namespace {

using View = std::string_view;

unsigned char at(View view, std::size_t i) { return static_cast<unsigned char>(view[i]); }

unsigned char foldAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + 32) : byte;
}

// Length of the character that starts at `i`: 2 for a lead byte with a byte
// after it, else 1 (a lone lead byte at the end counts as one byte).
std::size_t charLength(View view, std::size_t i) {
  return (isLeadByte(at(view, i)) && i + 1 < view.size()) ? 2 : 1;
}

// Compares `needle` with the bytes of `hay` at `p`, folding ASCII letters of
// single-byte characters only; the second byte of a two-byte character of the
// text must match exactly.
bool equalsFolded(View hay, std::size_t p, View needle) {
  bool trail = false;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    unsigned char a = at(hay, p + k);
    unsigned char b = at(needle, k);
    if (trail || a >= 0x80) {
      if (a != b) return false;
      trail = !trail && a >= 0x80;
    } else if (foldAscii(a) != foldAscii(b)) {
      return false;
    }
  }
  return true;
}

// 0-based offset of the first occurrence of `needle` in `hay` that starts on a
// character boundary at or after `from` (itself taken as a boundary), or npos.
std::size_t findIn(View hay, View needle, std::size_t from, bool ignoreCase) {
  const std::size_t n = hay.size();
  const std::size_t m = needle.size();
  if (from >= n) return View::npos;
  if (m == 0) return from;
  if (m > n - from) return View::npos;
  std::size_t boundary = from;
  if (!ignoreCase) {
    std::size_t q = from;
    for (;;) {
      q = hay.find(needle, q);
      if (q == View::npos) return View::npos;
      while (boundary < q) boundary += charLength(hay, boundary);
      if (boundary == q) return q;
      q = boundary;
    }
  }
  const unsigned char first = foldAscii(at(needle, 0));
  const bool firstIsHigh = at(needle, 0) >= 0x80;
  for (std::size_t p = from; p + m <= n; p += charLength(hay, p)) {
    unsigned char c = at(hay, p);
    if ((firstIsHigh ? c : foldAscii(c)) != first) continue;
    if (equalsFolded(hay, p, needle)) return p;
  }
  return View::npos;
}

std::size_t startIndex(Pos start) { return start <= 1 ? 0 : static_cast<std::size_t>(start - 1); }

// The first character boundary of `view` at or after `from`. Character
// boundaries belong to the text, not to where a search starts: a start on
// the second byte of a two-byte character moves on to the next character.
// The byte after the last byte below 0x80 always starts a character (that
// byte is a character or the second byte of one), and from there on the
// bytes pair up, so only that run of high bytes is looked at.
std::size_t alignToCharacter(View view, std::size_t from) {
  if (from == 0 || from >= view.size()) return from;
  std::size_t runStart = from;
  while (runStart > 0 && isLeadByte(at(view, runStart - 1))) --runStart;
  return ((from - runStart) % 2 == 0) ? from : from + 1;
}

// The first character boundary at or after `q + length`, walking from `q`,
// which is one. A needle that ends in a lone high byte ends inside a
// character; the next search must not start there.
std::size_t boundaryAfter(View view, std::size_t q, std::size_t length) {
  std::size_t next = q;
  while (next < q + length && next < view.size()) next += charLength(view, next);
  return std::max(next, q + length);
}

}  // namespace

Pos textFind(const Text& text, const Text& needle, Pos start, bool ignoreCase) {
  // An empty needle is "found" at byte 1 whenever there is anything to search,
  // wherever the search starts; the position lookups of RegexObject rely on it.
  if (needle.empty()) return startIndex(start) < text.size() ? 1 : -1;
  std::size_t q = findIn(text, needle, alignToCharacter(text, startIndex(start)), ignoreCase);
  return q == View::npos ? -1 : static_cast<Pos>(q) + 1;
}

Pos textFindLast(const Text& text, const Text& needle, Pos before, bool ignoreCase) {
  View hay(text);
  if (before >= 1 && static_cast<std::size_t>(before - 1) < hay.size()) {
    hay = hay.substr(0, static_cast<std::size_t>(before - 1));
  }
  Pos last = -1;
  std::size_t from = 0;
  while (from < hay.size()) {
    std::size_t q = findIn(hay, needle, from, ignoreCase);
    if (q == View::npos) break;
    last = static_cast<Pos>(q) + 1;
    from = q + charLength(hay, q);
  }
  return last;
}

Text textReplace(const Text& text, const Text& from, const Text& to, Pos start, Pos count,
                 bool ignoreCase) {
  if (from.empty() || count == 0) return text;
  Text out;
  std::size_t copied = 0;
  std::size_t at = alignToCharacter(text, startIndex(start));
  Pos done = 0;
  while (count < 0 || done < count) {
    std::size_t q = findIn(text, from, at, ignoreCase);
    if (q == View::npos) break;
    out.append(text, copied, q - copied);
    out.append(to);
    copied = q + from.size();
    at = boundaryAfter(text, q, from.size());
    ++done;
  }
  if (done == 0) return text;
  out.append(text, copied, Text::npos);
  return out;
}

Text textTrim(const Text& text) {
  View view(text);
  const std::size_t n = view.size();
  auto spaceLength = [&](std::size_t i) -> std::size_t {
    if (at(view, i) == 0x20) return 1;
    if (at(view, i) == 0xA1 && i + 1 < n && at(view, i + 1) == 0xA1) return 2;
    return 0;
  };
  std::size_t begin = 0;
  while (begin < n) {
    std::size_t length = spaceLength(begin);
    if (length == 0) break;
    begin += length;
  }
  std::size_t end = begin;
  for (std::size_t i = begin; i < n;) {
    std::size_t length = spaceLength(i);
    if (length == 0) {
      length = charLength(view, i);
      end = i + length;
    }
    i += length;
  }
  return text.substr(begin, end - begin);
}

std::vector<Text> textSplit(const Text& text, const Text& separator) {
  std::vector<Text> items;
  if (text.empty()) return items;
  if (separator.empty()) {
    items.push_back(text);
    return items;
  }
  std::size_t from = 0;
  std::size_t searchFrom = 0;
  for (;;) {
    std::size_t q = findIn(text, separator, searchFrom, false);
    if (q == View::npos) break;
    items.emplace_back(text, from, q - from);
    from = q + separator.size();
    searchFrom = boundaryAfter(text, q, separator.size());
  }
  if (from < text.size()) items.emplace_back(text, from, Text::npos);
  return items;
}

Text textLeft(const Text& text, Pos n) {
  if (n <= 0) return Text();
  return text.substr(0, static_cast<std::size_t>(n));
}

Text textRight(const Text& text, Pos n) {
  if (n <= 0) return Text();
  std::size_t count = static_cast<std::size_t>(n);
  if (count >= text.size()) return text;
  return text.substr(text.size() - count);
}

Text textMiddle(const Text& text, Pos position, Pos n) {
  if (n <= 0) return Text();
  std::size_t from = startIndex(position);
  if (from >= text.size()) return Text();
  return text.substr(from, static_cast<std::size_t>(n));
}

namespace {

template <typename Map>
Text mapSingleByteLetters(const Text& text, Map map) {
  Text out(text);
  View view(text);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t length = charLength(view, i);
    if (length == 1) out[i] = static_cast<char>(map(at(view, i)));
    i += length;
  }
  return out;
}

}  // namespace

Text textUpper(const Text& text) {
  return mapSingleByteLetters(text, [](unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
  });
}

Text textLower(const Text& text) {
  return mapSingleByteLetters(text, [](unsigned char c) { return foldAscii(c); });
}

}  // namespace varnelo
