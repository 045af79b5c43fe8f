// Code-page conversions: the worked byte examples, every two-byte cell of code
// page 936 against iconv's GBK, and bad input of every kind.
#include "text/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace varnelo {
namespace {

Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

Bytes utf16(std::u16string_view units, bool terminate) {
  Bytes out;
  for (char16_t u : units) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

std::u16string unitsOf(const Bytes& data) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  return units;
}

// iconv's own reading of `text` as GBK; empty when iconv rejects any of it.
std::u16string gbkByIconv(const std::string& text) {
  static const iconv_t cd = iconv_open("UTF-16LE", "GBK");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* op = out.data();
  std::size_t outLeft = out.size();
  const std::size_t r = iconv(cd, &in, &inLeft, &op, &outLeft);
  if (r == static_cast<std::size_t>(-1)) return u"";
  out.resize(out.size() - outLeft);
  return unitsOf(Bytes(out.begin(), out.end()));
}

TEST(CodePage, WorkedExamples) {
  EXPECT_EQ(toUtf16Bytes("ab\xD6\xD0"), bytes({0x61, 0x00, 0x62, 0x00, 0x2D, 0x4E, 0x00, 0x00}));
  EXPECT_EQ(toUtf16Bytes(""), Bytes());
  EXPECT_EQ(toUtf16Bytes("a").size(), 4u);
  EXPECT_EQ(fromUtf16Bytes(bytes({0x61, 0x00, 0x62, 0x00, 0x2D, 0x4E})), "ab\xD6\xD0");
  EXPECT_EQ(fromUtf16Bytes(bytes({0x61, 0x00, 0x62, 0x00, 0x2D, 0x4E, 0x00, 0x00, 0x63, 0x00})), "ab\xD6\xD0");
  EXPECT_EQ(fromUtf16Bytes(bytes({0x61, 0x00, 0x62, 0x00, 0x63})), "ab");
  EXPECT_EQ(gbkToUtf8("ab\xD6\xD0"), "ab\xE4\xB8\xAD");
  EXPECT_EQ(gbkToUtf8("plain ASCII, 100%!\r\n"), "plain ASCII, 100%!\r\n");
}

struct DecodeCase {
  const char* name;
  std::string text;
  std::u16string units;  // without the terminating zero unit
};

TEST(CodePage, DecodesGbkAndStandsInForBadBytes) {
  const DecodeCase cases[] = {
      {"euro sign is the single byte 0x80", "\x80", u"\u20AC"},
      {"middle dot as the platform has it", "\xA1\xA4", u"\u00B7"},
      {"em dash as the platform has it", "\xA1\xAA", u"\u2014"},
      {"ideographic space", "\xA1\xA1", u"\u3000"},
      {"cell of the first user-defined area", "\xAA\xA1", u"\uE000"},
      {"last cell of the second user-defined area", "\xFE\xFE", u"\uE4C5"},
      {"cell of the third user-defined area", "\xA1\x40", u"\uE4C6"},
      {"empty GB2312 cell", "\xA2\xAB", u"\uE766"},
      {"last empty cell", "\xFE\xA0", u"\uE864"},
      {"0xFF decodes to nothing", "a\xFF" "b", u"a\uFFFD" "b"},
      {"lone lead byte at the end", "ab\xD6", u"ab\uFFFD"},
      {"lead byte before an ASCII byte keeps the ASCII byte", "\xD6<p>", u"\uFFFD<p>"},
      {"lead byte before 0x7F", "\xD6\x7F", u"\uFFFD\x7F"},
      {"lead byte before a lead byte pairs them", "\xD6\xD6\xD0", u"\u79CD\uFFFD"},
      {"a NUL ends the text", std::string("ab\0cd", 5), u"ab"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(toUtf16Bytes(c.text), utf16(c.units, true));
    EXPECT_EQ(decodeToUtf16(c.text, kCodePageGbk), utf16(c.units, true));
  }
}

// Every pair of bytes: a lead byte with a trail byte is one character whose
// unit is iconv's GBK reading where iconv has one, a private-use character
// otherwise, and which converts back to the same two bytes; all other pairs
// decode byte by byte, and nothing reads beyond the text.
TEST(CodePage, EveryTwoBytePairDecodesAndRoundTrips) {
  std::set<char16_t> cellUnits;
  int cells = 0;
  for (int b0 = 1; b0 < 256; ++b0) {
    for (int b1 = 1; b1 < 256; ++b1) {
      const std::string text{static_cast<char>(b0), static_cast<char>(b1)};
      const std::u16string units = unitsOf(toUtf16Bytes(text));
      ASSERT_FALSE(units.empty());
      ASSERT_EQ(units.back(), 0) << b0 << " " << b1;
      const std::u16string decoded = units.substr(0, units.size() - 1);
      const bool lead = b0 >= 0x81 && b0 <= 0xFE;
      const bool trail = b1 >= 0x40 && b1 <= 0xFE && b1 != 0x7F;
      if (lead && trail) {
        ++cells;
        ASSERT_EQ(decoded.size(), 1u) << std::hex << b0 << " " << b1;
        const std::u16string oracle = gbkByIconv(text);
        if (!oracle.empty()) {
          ASSERT_EQ(decoded, oracle) << std::hex << b0 << " " << b1;
        } else {
          ASSERT_GE(decoded[0], 0xE000) << std::hex << b0 << " " << b1;
          ASSERT_LE(decoded[0], 0xE864) << std::hex << b0 << " " << b1;
        }
        cellUnits.insert(decoded[0]);
        ASSERT_EQ(fromUtf16Bytes(utf16(decoded, false)), text) << std::hex << b0 << " " << b1;
      } else {
        ASSERT_EQ(decoded.size(), 2u) << std::hex << b0 << " " << b1;
        // Each byte alone: ASCII, the euro sign, or a byte that does not
        // decode (a lone lead byte at the end among them).
        auto single = [](int b) { return b < 0x80 ? char16_t(b) : b == 0x80 ? u'\u20AC' : u'\uFFFD'; };
        ASSERT_EQ(decoded[0], single(b0)) << std::hex << b0 << " " << b1;
        ASSERT_EQ(decoded[1], single(b1)) << std::hex << b0 << " " << b1;
      }
    }
  }
  EXPECT_EQ(cells, 126 * 190);
  EXPECT_EQ(cellUnits.size(), static_cast<std::size_t>(cells));  // no two cells share a character
}

// Every BMP character either becomes "?" or becomes bytes that read back as
// that same character.
TEST(CodePage, EveryCharacterEncodesToItselfOrToQuestionMark) {
  int held = 0;
  for (int u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const std::u16string unit(1, static_cast<char16_t>(u));
    const Text text = encodeFromUtf16(utf16(unit, true), kCodePageGbk);
    ASSERT_FALSE(text.empty()) << std::hex << u;
    if (text == "?" && u != '?') continue;
    ++held;
    ASSERT_EQ(unitsOf(decodeToUtf16(text, kCodePageGbk)), unit + u'\0') << std::hex << u;
  }
  EXPECT_EQ(held, 127 + 1 + 126 * 190);  // ASCII, the euro sign, every two-byte cell
}

struct EncodeCase {
  const char* name;
  std::u16string units;
  std::string gbk;
};

TEST(CodePage, EncodesIntoGbkWithQuestionMarks) {
  const EncodeCase cases[] = {
      {"euro sign", u"\u20AC", "\x80"},
      {"character 936 lacks", u"a\u0E01b", "a?b"},
      {"surrogate pair is one character", u"a\U0001F600b", "a?b"},
      {"lone high surrogate", u"a\xD800" "b", "a?b"},
      {"lone low surrogate", u"a\xDC00", "a?"},
      {"high surrogate at the end", u"ab\xD83D", "ab?"},
      {"replacement character", u"\uFFFD", "?"},
      {"private-use cell", u"\uE000\uE765", "\xAA\xA1\xA7\xA0"},
      {"private-use character beyond the cells", u"\uE865", "?"},
      {"base and mark composed", u"e\u0301", "\xA8\xA6"},
      {"base with two marks composed twice", u"u\u0308\u0301", "\xA8\xB6"},
      {"mark without a precomposed form", u"q\u0301", "q?"},
      {"precomposed form that 936 lacks stays apart", u"\u0410\u0306", "\xA7\xA1?"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fromUtf16Bytes(utf16(c.units, false)), c.gbk);
  }
  // The composite check belongs to fromUtf16Bytes only.
  EXPECT_EQ(encodeFromUtf16(utf16(u"e\u0301", true), kCodePageGbk), "e?");
}

TEST(CodePage, OddAndEmptyUtf16Data) {
  EXPECT_EQ(fromUtf16Bytes(Bytes()), "");
  EXPECT_EQ(fromUtf16Bytes(bytes({0x61})), "");
  EXPECT_EQ(fromUtf16Bytes(bytes({0x00, 0x00, 0x61, 0x00})), "");
  EXPECT_EQ(encodeFromUtf16(Bytes(), kCodePageUtf8), "");
  EXPECT_EQ(encodeFromUtf16(bytes({0x61, 0x00, 0x62}), kCodePageUtf8), "a");
  EXPECT_EQ(encodeFromUtf16(utf16(u"ab", false), kCodePageUtf8), "ab");  // no zero unit: all of it
}

TEST(CodePage, Utf8BothWays) {
  EXPECT_EQ(unitsOf(decodeToUtf16("a\xE4\xB8\xAD", kCodePageUtf8)), std::u16string(u"a\u4E2D") + u'\0');
  EXPECT_EQ(unitsOf(decodeToUtf16("\xF0\x9F\x98\x80", kCodePageUtf8)), std::u16string(u"\U0001F600") + u'\0');
  // A broken sequence becomes one U+FFFD per maximal start of a sequence.
  EXPECT_EQ(unitsOf(decodeToUtf16("a\xE4\xB8" "b\xFF\xC0\xAF", kCodePageUtf8)),
            std::u16string(u"a\uFFFD" "b\uFFFD\uFFFD\uFFFD") + u'\0');
  EXPECT_EQ(unitsOf(decodeToUtf16("a\xE4", kCodePageUtf8)), std::u16string(u"a\uFFFD") + u'\0');
  EXPECT_EQ(encodeFromUtf16(utf16(u"\U0001F600\u4E2D", true), kCodePageUtf8), "\xF0\x9F\x98\x80\xE4\xB8\xAD");
  EXPECT_EQ(encodeFromUtf16(utf16(u"a\xDC00" "b", true), kCodePageUtf8), "a\xEF\xBF\xBD" "b");
  // An unknown code page gives an empty terminated string and empty text.
  EXPECT_EQ(decodeToUtf16("abc", 12345), bytes({0, 0}));
  EXPECT_EQ(encodeFromUtf16(utf16(u"abc", true), 12345), "");
}

TEST(CodePage, GbkToUtf8) {
  const struct {
    const char* name;
    std::string gbk;
    std::string utf8;
  } cases[] = {
      {"empty", "", ""},
      {"title", "<title>\xD6\xD0\xCE\xC4</title>", "<title>\xE4\xB8\xAD\xE6\x96\x87</title>"},
      {"euro sign", "\x80", "\xE2\x82\xAC"},
      {"bad bytes become U+FFFD", "a\xFF" "b\xD6", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
      {"lead byte before markup", "\xD6<b>", "\xEF\xBF\xBD<b>"},
      {"user-defined cell", "\xAA\xA1", "\xEE\x80\x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
  }
  // A text crowded with characters that take one byte in 936 but three in
  // UTF-8 outgrows the platform's buffer of twice the 936 size; it still
  // comes out whole.
  const std::string euros(1000, '\x80');
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "\xE2\x82\xAC";
  EXPECT_EQ(gbkToUtf8(euros), expected);
}

TEST(CodePage, TwentyThreadsAtOnce) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "abc\xD6\xD0\xCE\xC4\x80\xAA\xA1";
  const Text expectedUtf8 = gbkToUtf8(text);
  const Bytes expectedWide = toUtf16Bytes(text);
  std::vector<int> failures(20, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 20; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        if (gbkToUtf8(text) != expectedUtf8) ++failures[t];
        const Bytes wide = toUtf16Bytes(text);
        if (wide != expectedWide) ++failures[t];
        if (toUtf16Bytes(fromUtf16Bytes(wide)) != wide) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 20; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace varnelo
