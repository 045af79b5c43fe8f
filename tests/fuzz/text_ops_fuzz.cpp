// The text operations against a plain reference implementation that walks the
// text one character at a time and compares byte by byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "text/text_ops.h"

namespace {

using varnelo::Pos;
using varnelo::Text;

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

std::size_t step(const Text& t, std::size_t i) {
  return (static_cast<unsigned char>(t[i]) >= 0x80 && i + 1 < t.size()) ? 2 : 1;
}

bool matchesAt(const Text& t, std::size_t p, const Text& n, bool icase) {
  if (p + n.size() > t.size()) return false;
  bool trail = false;
  for (std::size_t k = 0; k < n.size(); ++k) {
    unsigned char a = t[p + k], b = n[k];
    bool exact = trail || a >= 0x80 || !icase;
    if (exact ? a != b : fold(a) != fold(b)) return false;
    trail = !trail && a >= 0x80;
  }
  return true;
}

// Searching for an empty text finds byte 1 whenever the searched part is not
// empty; a start inside a two-byte character (counting characters from byte
// 1) moves on to the next character.
Pos refFind(const Text& t, const Text& n, Pos start, bool icase) {
  const std::size_t i = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (i >= t.size()) return -1;
  if (n.empty()) return 1;
  std::size_t from = 0;
  while (from < i) from += step(t, from);
  for (std::size_t p = from; p < t.size(); p += step(t, p)) {
    if (matchesAt(t, p, n, icase)) return static_cast<Pos>(p) + 1;
  }
  return -1;
}

Pos refFindLast(const Text& t, const Text& n, Pos before, bool icase) {
  Text hay = t;
  if (before >= 1 && static_cast<std::size_t>(before - 1) < t.size()) hay = t.substr(0, before - 1);
  Pos last = -1;
  if (n.empty()) {
    for (std::size_t p = 0; p < hay.size(); p += step(hay, p)) last = static_cast<Pos>(p) + 1;
    return last;
  }
  for (std::size_t p = 0; p < hay.size(); p += step(hay, p)) {
    if (matchesAt(hay, p, n, icase)) last = static_cast<Pos>(p) + 1;
  }
  return last;
}

std::vector<Text> refSplit(const Text& t, const Text& sep) {
  std::vector<Text> items;
  if (t.empty()) return items;
  if (sep.empty()) return {t};
  std::size_t from = 0;
  for (std::size_t p = 0; p < t.size();) {
    if (matchesAt(t, p, sep, false)) {
      items.push_back(t.substr(from, p - from));
      from = p + sep.size();
      // A separator that ends in a lone lead byte ends inside a character:
      // the next item starts there, but the search goes on from the next
      // character.
      while (p < from) p += step(t, p);
    } else {
      p += step(t, p);
    }
  }
  if (from < t.size()) items.push_back(t.substr(from));
  return items;
}

Text refTrim(const Text& t) {
  std::vector<std::pair<std::size_t, std::size_t>> chars;
  for (std::size_t p = 0; p < t.size(); p += step(t, p)) chars.emplace_back(p, step(t, p));
  auto isSpace = [&](std::pair<std::size_t, std::size_t> c) {
    if (c.second == 1) return t[c.first] == ' ';
    return static_cast<unsigned char>(t[c.first]) == 0xA1 && static_cast<unsigned char>(t[c.first + 1]) == 0xA1;
  };
  std::size_t b = 0, e = chars.size();
  while (b < e && isSpace(chars[b])) ++b;
  while (e > b && isSpace(chars[e - 1])) --e;
  if (b == e) return Text();
  return t.substr(chars[b].first, chars[e - 1].first + chars[e - 1].second - chars[b].first);
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool icase = in.ConsumeBool();
  const Pos start = in.ConsumeIntegralInRange<Pos>(-2, 70);
  const Pos count = in.ConsumeIntegralInRange<Pos>(-1, 5);
  const Text needle = in.ConsumeRandomLengthString(8);
  const Text replacement = in.ConsumeRandomLengthString(8);
  const Text text = in.ConsumeRemainingBytesAsString();
  if (needle.find('\0') != Text::npos || text.find('\0') != Text::npos) return 0;

  check(varnelo::textFind(text, needle, start, icase) == refFind(text, needle, start, icase));
  check(varnelo::textFindLast(text, needle, start, icase) == refFindLast(text, needle, start, icase));
  check(varnelo::textSplit(text, needle) == refSplit(text, needle));
  check(varnelo::textTrim(text) == refTrim(text));

  // Replace: rebuild from the reference find.
  Text expected;
  if (needle.empty() || count == 0) {
    expected = text;
  } else {
    std::size_t copied = 0;
    Pos at = start, done = 0;
    for (Pos q; (count < 0 || done < count) && (q = refFind(text, needle, at, icase)) > 0; ++done) {
      expected += text.substr(copied, q - 1 - copied) + replacement;
      copied = q - 1 + needle.size();
      at = static_cast<Pos>(copied) + 1;
    }
    expected += text.substr(copied);
  }
  check(varnelo::textReplace(text, needle, replacement, start, count, icase) == expected);

  const std::size_t n = start < 0 ? 0 : static_cast<std::size_t>(start);
  check(varnelo::textLeft(text, start) == (start <= 0 ? Text() : text.substr(0, n)));
  check(varnelo::textRight(text, start) ==
        (start <= 0 ? Text() : text.substr(text.size() > n ? text.size() - n : 0)));
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  check(varnelo::textMiddle(text, start, count) ==
        (count <= 0 || from >= text.size() ? Text() : text.substr(from, count)));
  check(varnelo::textUpper(varnelo::textLower(text)) == varnelo::textUpper(text));
  check(varnelo::textUpper(text).size() == text.size());
  return 0;
}
