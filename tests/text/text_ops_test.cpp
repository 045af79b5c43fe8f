// Text operations: tables of cases, a plain character-by-character oracle on
// many small random texts, and loops over every pair of bytes, where a second
// byte of 0x5C ("\"), 0x7C ("|") or an ASCII letter is the classic trap.
#include "text/text_ops.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace varnelo {
namespace {

// ---- the oracle: characters first, then bytes -----------------------------

// Start offsets of the characters of `text` (a lone high byte at the end is
// a character of its own).
std::vector<std::size_t> characterStarts(const Text& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();) {
    starts.push_back(i);
    i += (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
  }
  return starts;
}

// Which bytes of `text` are second bytes of a two-byte character.
std::vector<bool> secondBytes(const Text& text) {
  std::vector<bool> second(text.size(), false);
  for (std::size_t s : characterStarts(text)) {
    if (static_cast<unsigned char>(text[s]) >= 0x80 && s + 1 < text.size()) second[s + 1] = true;
  }
  return second;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool matchesAt(const Text& text, const std::vector<bool>& second, std::size_t p, const Text& needle,
               bool ignoreCase) {
  if (p + needle.size() > text.size()) return false;
  for (std::size_t k = 0; k < needle.size(); ++k) {
    const char a = text[p + k];
    const char b = needle[k];
    // Only single-byte characters of the text fold.
    const bool single = static_cast<unsigned char>(a) < 0x80 && !second[p + k];
    if (ignoreCase && single ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

Pos oracleFind(const Text& text, const Text& needle, Pos start, bool ignoreCase) {
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (needle.empty()) return from < text.size() ? 1 : -1;
  const std::vector<bool> second = secondBytes(text);
  for (std::size_t s : characterStarts(text)) {
    if (s >= from && matchesAt(text, second, s, needle, ignoreCase)) return static_cast<Pos>(s) + 1;
  }
  return -1;
}

Pos oracleFindLast(const Text& text, const Text& needle, Pos before, bool ignoreCase) {
  std::size_t limit = text.size();
  if (before >= 1 && static_cast<std::size_t>(before - 1) < text.size()) limit = static_cast<std::size_t>(before - 1);
  const Text part = text.substr(0, limit);
  Pos last = -1;
  const std::vector<bool> second = secondBytes(part);
  for (std::size_t s : characterStarts(part)) {
    if (matchesAt(part, second, s, needle, ignoreCase)) last = static_cast<Pos>(s) + 1;
  }
  return last;
}

Text oracleReplace(const Text& text, const Text& from, const Text& to, Pos start, Pos count, bool ignoreCase) {
  if (from.empty()) return text;
  Text out;
  std::size_t copied = 0;
  Pos done = 0;
  Pos at = start;
  while (count < 0 || done < count) {
    const Pos found = oracleFind(text, from, at, ignoreCase);
    if (found < 0) break;
    out += text.substr(copied, static_cast<std::size_t>(found - 1) - copied) + to;
    copied = static_cast<std::size_t>(found - 1) + from.size();
    at = static_cast<Pos>(copied) + 1;
    ++done;
  }
  return out + text.substr(copied);
}

std::vector<Text> oracleSplit(const Text& text, const Text& separator) {
  std::vector<Text> items;
  if (text.empty()) return items;
  if (separator.empty()) return {text};
  std::size_t from = 0;
  for (;;) {
    const Pos found = oracleFind(text, separator, static_cast<Pos>(from) + 1, false);
    if (found < 0) break;
    items.push_back(text.substr(from, static_cast<std::size_t>(found - 1) - from));
    from = static_cast<std::size_t>(found - 1) + separator.size();
  }
  if (from < text.size()) items.push_back(text.substr(from));
  return items;
}

Text oracleTrim(const Text& text) {
  std::vector<Text> chars;
  const std::vector<std::size_t> starts = characterStarts(text);
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    chars.push_back(text.substr(starts[i], end - starts[i]));
  }
  auto blank = [](const Text& c) { return c == " " || c == "\xA1\xA1"; };
  std::size_t b = 0;
  std::size_t e = chars.size();
  while (b < e && blank(chars[b])) ++b;
  while (e > b && blank(chars[e - 1])) --e;
  Text out;
  for (std::size_t i = b; i < e; ++i) out += chars[i];
  return out;
}

// ---- tables ----------------------------------------------------------------

TEST(TextOps, FindCases) {
  const struct {
    const char* name;
    Text text, needle;
    Pos start;
    bool ignoreCase;
    Pos expected;
  } cases[] = {
      {"plain", "abcabc", "bc", 1, false, 2},
      {"from a start", "abcabc", "bc", 3, false, 5},
      {"start 0 and negative", "abc", "a", -3, false, 1},
      {"start beyond", "abc", "a", 9, false, -1},
      {"absent", "abc", "x", 1, false, -1},
      {"empty needle", "abc", "", 1, false, 1},
      {"empty needle from later start still 1", "abc", "", 3, false, 1},
      {"empty needle beyond the end", "abc", "", 4, false, -1},
      {"empty text", "", "", 1, false, -1},
      {"needle longer than text", "ab", "abc", 1, false, -1},
      {"ignore case", "xABc", "abC", 1, true, 2},
      {"case by default", "xABc", "abc", 1, false, -1},
      {"not on a second byte: backslash", "\xB0\\\\", "\\", 1, false, 3},
      {"not on a second byte: bar", "\xB0|x|", "|", 1, false, 4},
      {"not on a second byte: letter, ignoring case", "\x81" "ab", "a", 1, true, -1},
      {"second byte letter does not fold", "\x81" "a", "\x81" "A", 1, true, -1},
      {"two-byte needle", "a\xD6\xD0\xD6\xD0", "\xD6\xD0", 3, false, 4},
      {"start on a second byte moves on", "\xD6" "a" "a", "a", 2, false, 3},
      {"start on a second byte, run of high bytes", "a\xD6\xD0\xD6\xD0", "\xD0\xD6", 3, false, -1},
      {"start on a first byte", "a\xD6\xD0\xD6\xD0", "\xD6\xD0", 2, false, 2},
      {"lone lead byte at the end", "ab\xD6", "\xD6", 1, false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(textFind(c.text, c.needle, c.start, c.ignoreCase), c.expected);
  }
}

TEST(TextOps, FindLastReplaceSplitCases) {
  EXPECT_EQ(textFindLast("a/b/c", "/"), 4);
  EXPECT_EQ(textFindLast("a/b/c", "/", 4), 2);  // must end before byte 4
  EXPECT_EQ(textFindLast("a/b/c", "/", 5), 4);
  EXPECT_EQ(textFindLast("aaa", "aa"), 2);
  EXPECT_EQ(textFindLast("\xB0\\", "\\"), -1);
  EXPECT_EQ(textFindLast("", "a"), -1);

  EXPECT_EQ(textReplace("a.b.c", ".", "::"), "a::b::c");
  EXPECT_EQ(textReplace("a.b.c", ".", "", 3), "a.bc");
  EXPECT_EQ(textReplace("a.b.c.d", ".", "-", 1, 2), "a-b-c.d");
  EXPECT_EQ(textReplace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(textReplace("abc", "", "x"), "abc");
  EXPECT_EQ(textReplace("abc", "b", "x", 1, 0), "abc");
  EXPECT_EQ(textReplace("\xB0|a|", "|", "/"), "\xB0|a/");
  EXPECT_EQ(textReplace("AbAB", "ab", "-", 1, -1, true), "--");

  const struct {
    Text text, separator;
    std::vector<Text> items;
  } splits[] = {
      {"", ",", {}},
      {"a", ",", {"a"}},
      {"a,b", ",", {"a", "b"}},
      {"a,b,", ",", {"a", "b"}},
      {",a", ",", {"", "a"}},
      {"a,,b", ",", {"a", "", "b"}},
      {",", ",", {""}},
      {"a\r\nb\r\n", "\r\n", {"a", "b"}},
      {"\xB0|a|b", "|", {"\xB0|a", "b"}},
      {"abc", "", {"abc"}},
  };
  for (const auto& s : splits) {
    SCOPED_TRACE(s.text);
    EXPECT_EQ(textSplit(s.text, s.separator), s.items);
  }
}

TEST(TextOps, TrimCutAndCase) {
  const struct {
    Text in, out;
  } trims[] = {
      {"  a b  ", "a b"},
      {"\xA1\xA1 a\xA1\xA1", "a"},
      {"\ta\r\n", "\ta\r\n"},
      {"   ", ""},
      {"", ""},
      {"\xB0\xA1\xA1\xB0", "\xB0\xA1\xA1\xB0"},  // A1 A1 across two characters is no space
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {"a\xA1", "a\xA1"},
      {" \xA1", "\xA1"},
  };
  for (const auto& t : trims) EXPECT_EQ(textTrim(t.in), t.out) << t.in;

  EXPECT_EQ(textLeft("abc", 2), "ab");
  EXPECT_EQ(textLeft("abc", 0), "");
  EXPECT_EQ(textLeft("abc", -1), "");
  EXPECT_EQ(textLeft("abc", 9), "abc");
  EXPECT_EQ(textRight("abc", 2), "bc");
  EXPECT_EQ(textRight("abc", 0), "");
  EXPECT_EQ(textRight("abc", 9), "abc");
  EXPECT_EQ(textMiddle("abcdef", 2, 3), "bcd");
  EXPECT_EQ(textMiddle("abcdef", 5, 9), "ef");
  EXPECT_EQ(textMiddle("abcdef", 0, 2), "ab");
  EXPECT_EQ(textMiddle("abcdef", 7, 2), "");
  EXPECT_EQ(textMiddle("abcdef", 2, 0), "");

  EXPECT_EQ(textUpper("ab\x81" "a\xD6\xD0z"), "AB\x81" "a\xD6\xD0Z");
  EXPECT_EQ(textLower("AB\x81" "A\xA3\xC1Z\xD6"), "ab\x81" "A\xA3\xC1z\xD6");
}

// ---- every pair of bytes -------------------------------------------------

TEST(TextOps, NothingIsFoundOnTheSecondByteOfAPair) {
  for (int b0 = 1; b0 < 256; ++b0) {
    for (int b1 = 1; b1 < 256; ++b1) {
      const char c0 = static_cast<char>(b0);
      const char c1 = static_cast<char>(b1);
      const Text text{'<', c0, c1, '>'};
      const bool pair = b0 >= 0x80;
      SCOPED_TRACE(::testing::Message() << std::hex << b0 << " " << b1);
      // The second byte on its own, and in the other case when it is a letter.
      std::vector<Text> needles = {Text(1, c1), Text{c1, '>'}, Text{c0, c1}};
      if (std::isalpha(b1)) needles.push_back(Text(1, static_cast<char>(b1 ^ 0x20)));
      for (const Text& needle : needles) {
        for (bool ignoreCase : {false, true}) {
          const Pos found = textFind(text, needle, 1, ignoreCase);
          ASSERT_EQ(found, oracleFind(text, needle, 1, ignoreCase));
          if (pair) {
            ASSERT_NE(found, 3);
          }
          const Pos last = textFindLast(text, needle, -1, ignoreCase);
          ASSERT_EQ(last, oracleFindLast(text, needle, -1, ignoreCase));
          if (pair) {
            ASSERT_NE(last, 3);
          }
        }
      }
      // Replace and split share the search; the second byte alone is enough.
      ASSERT_EQ(textReplace(text, needles[0], "", 1, -1, true), oracleReplace(text, needles[0], "", 1, -1, true));
      ASSERT_EQ(textSplit(text, needles[0]), oracleSplit(text, needles[0]));
      // A start on the second byte moves on to the next character.
      ASSERT_EQ(textFind(text, Text(1, c1), 3), pair ? (c1 == '>' ? 4 : -1) : 3);
      // Casing leaves both bytes of a pair alone, and only them.
      if (pair) {
        ASSERT_EQ(textUpper(Text{'a', c0, c1, 'z'}), Text({'A', c0, c1, 'Z'}));
        ASSERT_EQ(textLower(Text{'A', c0, c1, 'Z'}), Text({'a', c0, c1, 'z'}));
      }
    }
  }
}

// ---- small random texts against the oracle ---------------------------------

TEST(TextOps, AgreeWithTheOracleOnRandomTexts) {
  const char alphabet[] = {'a', 'A', 'b', '\\', '|', ' ', '\x81', '\xA1', '\xD6', '\x5C', '\x61'};
  std::mt19937 random(12345);
  auto pick = [&](std::size_t maxLength) {
    Text t(random() % (maxLength + 1), ' ');
    for (char& c : t) c = alphabet[random() % sizeof alphabet];
    return t;
  };
  for (int round = 0; round < 40000; ++round) {
    const Text text = pick(9);
    const Text needle = pick(3);
    const Pos start = static_cast<Pos>(random() % 12) - 1;
    const bool ignoreCase = random() % 2 == 0;
    SCOPED_TRACE(::testing::Message() << "text=" << ::testing::PrintToString(text)
                                      << " needle=" << ::testing::PrintToString(needle) << " start=" << start
                                      << " ignoreCase=" << ignoreCase);
    ASSERT_EQ(textFind(text, needle, start, ignoreCase), oracleFind(text, needle, start, ignoreCase));
    ASSERT_EQ(textFindLast(text, needle, start, ignoreCase), oracleFindLast(text, needle, start, ignoreCase));
    const Pos count = static_cast<Pos>(random() % 4) - 1;
    ASSERT_EQ(textReplace(text, needle, "<>", start, count, ignoreCase),
              oracleReplace(text, needle, "<>", start, count, ignoreCase));
    ASSERT_EQ(textSplit(text, needle), oracleSplit(text, needle));
    ASSERT_EQ(textTrim(text), oracleTrim(text));
  }
}

}  // namespace
}  // namespace varnelo
