#include "http/header_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnelo {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(CapitaliseFirst, UpperCasesOnlyALeadingAsciiLetter) {
  const std::vector<Case> cases = {
      {"", ""},
      {"a", "A"},
      {"cONTENT", "CONTENT"},
      {"Zebra", "Zebra"},
      {" accept", " accept"},
      {"1abc", "1abc"},
      {"-x", "-x"},
      {"\xD6\xD0" "abc", "\xD6\xD0" "abc"},  // a two-byte character is left alone
      {"\xE1", "\xE1"},                     // a lone lead byte too
  };
  for (const Case& c : cases) EXPECT_EQ(capitaliseFirst(c.input), c.expected) << c.input;
}

TEST(NormaliseHeaderNames, CapitalisesNameSegmentsAndKeepsValues) {
  const std::vector<Case> cases = {
      {"", ""},
      {"content-type: text/html\r\nx-requested-with: XMLHttpRequest",
       "Content-Type: text/html\r\nX-Requested-With: XMLHttpRequest"},
      {"ACCEPT: */*", "ACCEPT: */*"},
      {"aCCEPT-lANGUAGE: zh-cn", "ACCEPT-LANGUAGE: zh-cn"},
      {"accept: text/x-foo", "Accept: text/x-foo"},  // a dash in the value does not count
      {" accept: x", " accept: x"},
      {"x--y: 1", "X--Y: 1"},
      {"-x: 1", "-X: 1"},
      {"x-: 1", "X-: 1"},
      {": v", ": v"},
      {"a:b", "A:b"},  // no space is added around the ":"
      {"referer:http://a-b.example/x-y", "Referer:http://a-b.example/x-y"},
      // A bare LF does not end a line: the name runs to the block's first ":".
      {"content-type: a\nx-y: b", "Content-Type: a\nx-y: b"},
      {"a-b\nc-d: 1", "A-B\nc-D: 1"},
      // Two-byte characters are stepped over whole: a "-" or ":" that is the
      // second byte of one is no separator.
      {"\xD6\xD0-x: 1", "\xD6\xD0-X: 1"},
      {"\x81-x: 1", "\x81-x: 1"},
      {"\x81:a-b: v", "\x81:a-B: v"},
  };
  for (const Case& c : cases) EXPECT_EQ(normaliseHeaderNames(c.input), c.expected) << c.input;
}

TEST(NormaliseHeaderNames, DropsLinesWithoutColonAndTheFinalLineBreak) {
  const std::vector<Case> cases = {
      {"foo\r\nbar: 1\r\n", "Bar: 1"},
      {"a: 1\r\n\r\nb: 2", "A: 1\r\nB: 2"},
      {"a: 1\r\n", "A: 1"},
      {"\r\n\r\n", ""},
      {"no colon here", ""},
      {"one\r\ntwo", ""},
      {"\r\nx: 1", "X: 1"},
      {"a: 1\r\nb: 2\r\nc: 3", "A: 1\r\nB: 2\r\nC: 3"},
      {"a: x\r\r\nb: y", "A: x\r\r\nB: y"},  // a lone CR stays in its line
  };
  for (const Case& c : cases) EXPECT_EQ(normaliseHeaderNames(c.input), c.expected) << c.input;
}

struct CutCase {
  std::string text;
  std::string marker;
  std::string expected;
};

TEST(TextLeftOf, GivesTheBytesBeforeTheFirstMarker) {
  const std::vector<CutCase> cases = {
      {"Set-Cookie: a=b", ": ", "Set-Cookie"},
      {"Set-Cookie:a=b", ": ", ""},
      {"", ": ", ""},
      {": x", ": ", ""},
      {"a: b: c", ": ", "a"},
      {"HTTP/1.1 200 OK", ": ", ""},
      {"set-cookie: x", ": ", "set-cookie"},
      {"abc", "", ""},
      // ": " inside the two-byte character 81 3A is no marker.
      {"\x81: x: y", ": ", "\x81: x"},
  };
  for (const CutCase& c : cases) {
    EXPECT_EQ(textLeftOf(c.text, c.marker), c.expected) << c.text << " / " << c.marker;
  }
}

TEST(TextRightOf, GivesTheBytesAfterTheLastMarker) {
  const std::vector<CutCase> cases = {
      {"X: a: b", ": ", "b"},
      {"X: ", ": ", ""},
      {"X:", ": ", ""},
      {"", ": ", ""},
      {"Location: http://a/b", "Location: ", "http://a/b"},
      {"Location: x", "location: ", ""},  // case-sensitive
      {"abc", "", ""},
      {"a: \xD6\xD0", ": ", "\xD6\xD0"},
      {"a: b\x81: c", ": ", "b\x81: c"},
  };
  for (const CutCase& c : cases) {
    EXPECT_EQ(textRightOf(c.text, c.marker), c.expected) << c.text << " / " << c.marker;
  }
}

}  // namespace
}  // namespace varnelo
