// textBetween: the markers the system uses, the empty-marker rules, the
// quote marker and the two-byte trap.
#include "text/text_between.h"

#include <gtest/gtest.h>

namespace varnelo {
namespace {

const Text kQuote = "#\xD2\xFD\xBA\xC5";  // "#引号" in code page 936

TEST(TextBetween, Cases) {
  const struct {
    const char* name;
    Text text, left, right;
    Pos start;
    bool ignoreCase;
    Text expected;
  } cases[] = {
      {"title", "<title>\xD6\xD0\xCE\xC4</title>", "<title>", "</title>", 0, false, "\xD6\xD0\xCE\xC4"},
      {"empty title", "<title></title>", "<title>", "</title>", 0, false, ""},
      {"no title", "<html></html>", "<title>", "</title>", 0, false, ""},
      {"first of two titles", "<title>a</title><title>b</title>", "<title>", "</title>", 0, false, "a"},
      {"right marker only looked for after the left",
       "</title><title>x</title>", "<title>", "</title>", 0, false, "x"},
      {"equal markers", "|a|b|", "|", "|", 0, false, "a"},
      {"case matters by default", "<TITLE>x</TITLE>", "<title>", "</title>", 0, false, ""},
      {"ignore case", "<TITLE>x</Title>", "<title>", "</title>", 0, true, "x"},
      {"ignore case leaves second bytes alone", "<t>\x81" "a</t>\x81" "A", "\x81" "a", "</t>", 0, true, ""},
      {"empty left marker: from byte 1", "abc;def", "", ";", 0, false, "abc"},
      {"empty left marker in empty text", "", "", ";", 0, false, ""},
      {"empty right marker", "abc", "a", "", 0, false, ""},
      {"left marker ends the text", "abc", "bc", "c", 0, false, ""},
      {"missing right marker", "a<b", "<", ">", 0, false, ""},
      {"start position skips a marker", "[a][b]", "[", "]", 2, false, "b"},
      {"start 0 and negative mean byte 1", "[a][b]", "[", "]", -5, false, "a"},
      {"start beyond the text", "[a]", "[", "]", 10, false, ""},
      {"empty left marker with a later start", "ab;cd;", "", ";", 4, false, "cd"},
      {"quote marker in both markers", "charset=\"utf-8\"", "charset=" + kQuote, kQuote, 0, false, "utf-8"},
      {"quote marker never matches itself", "x=" + kQuote + "y" + kQuote, "x=" + kQuote, kQuote, 0, false, ""},
      {"marker not found on a second byte", "\xB0\\\\x\\", "\\", "\\", 0, false, "x"},
      {"set-cookie value", "Set-Cookie: id=5; path=/", "Set-Cookie:", ";", 0, false, " id=5"},
      {"name marker", "<!-- \xC3\xFB\xB3\xC6 -->n<!-- end \xC3\xFB\xB3\xC6 -->",
       "<!-- \xC3\xFB\xB3\xC6 -->", "<!-- end \xC3\xFB\xB3\xC6 -->", 0, false, "n"},
      {"lone lead byte at the end", "<a>\xD6", "<a>", "\xD6", 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(textBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
  }
}

TEST(TextBetween, DefaultsAreStartOneAndCaseSensitive) {
  EXPECT_EQ(textBetween("<B>x</b><b>y</b>", "<b>", "</b>"), "y");
}

}  // namespace
}  // namespace varnelo
