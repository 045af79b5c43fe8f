#include "http/cookies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnelo {
namespace {

struct MergeCase {
  std::string oldCookies;
  std::string newCookies;
  std::string merged;
};

TEST(MergeCookies, MergesNewIntoOld) {
  const std::vector<MergeCase> cases = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "b=deleted", "a=1"},
      {"a=1; b=2", "", "a=1; b=2"},
      {"", "x=1; y=2", "x=1; y=2"},
      {"a=1;", "a=2;", "a=2"},
      {"a=1; a=2", "b=1", "b=1; a=1"},
      {"a=1", "b=1; b=1", "b=1; a=1"},
      {"a=1", "b=1; b=2", "b=1; b=2; a=1"},
      {"a=1;b=2", "a=5", "a=5"},  // ";" without a space separates nothing
      {"a=1", "A=2", "A=2; a=1"},
      {"flag; a=1", "flag=1", "flag=1; a=1"},
      {"a=deleted; b=1", "c=3", "c=3; b=1"},
      {"a=1", "a=DELETED", "a=DELETED"},
      {"", "", ""},
      // Further cases around the edges of the rules.
      {"a=1", "x=deleted", "a=1"},
      {"a=1", "a=deleted", ""},
      {"a=1 ; b=2", "", "a=1 ; b=2"},           // a space inside an item stays
      {"a=1 ; b=2", "c=1", "c=1; a=1 ; b=2"},
      {"  a=1; b=2  ", "  c=3  ", "c=3; a=1; b=2"},  // only the ends are trimmed
      {"\xA1\xA1" "a=1\xA1\xA1", "b=2", "b=2; a=1"},  // ideographic spaces too
      {"\ta=1", "a=2", "a=2; \ta=1"},             // a tab is part of the name
      {" a = 1", "a=2", "a=2"},                   // the name itself is trimmed
      {"a=1; b=2; a=3", "", "a=1; b=2"},          // only the first old "a" survives
      {"a=1; a=1", "", "a=1"},
      {"a=1", "a=1", "a=1"},
      {"; a=1", "", "; a=1"},                     // an empty leading item is kept
      {"a=1; ; b=2", "c=3", "c=3; a=1; ; b=2"},
      {"n=\xD6\xD0; m=1", "m=2", "m=2; n=\xD6\xD0"},
      // "; " whose ";" is the second byte of a two-byte character separates
      // nothing: the old string is one item named "a".
      {"a=\x81; b=2", "b=3", "b=3; a=\x81; b=2"},
      {"a=1; b=deleted", "c=1; c=deleted", "c=1; a=1"},
  };
  for (const MergeCase& c : cases) {
    Text oldCookies = c.oldCookies;
    Text newCookies = c.newCookies;
    const Text result = mergeCookies(oldCookies, newCookies);
    EXPECT_EQ(result, c.merged) << "old [" << c.oldCookies << "] new [" << c.newCookies << "]";
    EXPECT_EQ(oldCookies, c.merged) << "old [" << c.oldCookies << "] new [" << c.newCookies << "]";
  }
}

TEST(MergeCookies, LeavesNewCookiesTrimmedWithASpaceAfterAFinalSemicolon) {
  struct Case {
    std::string newCookies;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"a=1", "a=1"},
      {"  a=1  ", "a=1"},
      {"a=1;", "a=1; "},
      {" a=1; ", "a=1; "},
      {"a=1;;", "a=1;; "},
      {";", "; "},
      {"\xA1\xA1" "a=1\xA1\xA1", "a=1"},
      {"a=1\t", "a=1\t"},
  };
  for (const Case& c : cases) {
    Text oldCookies = "z=9";
    Text newCookies = c.newCookies;
    mergeCookies(oldCookies, newCookies);
    EXPECT_EQ(newCookies, c.after) << "[" << c.newCookies << "]";
  }
}

TEST(MergeCookies, ChainedRequestsCarryCookiesAlong) {
  // A caller that keeps one cookie variable and hands it to each request.
  Text jar;
  Text received = "sid=1; lang=en";
  received = mergeCookies(jar, received);
  EXPECT_EQ(jar, "sid=1; lang=en");
  received = "sid=2";
  received = mergeCookies(jar, received);
  EXPECT_EQ(jar, "sid=2; lang=en");
  received = "lang=deleted; theme=dark";
  received = mergeCookies(jar, received);
  EXPECT_EQ(jar, "theme=dark; sid=2");
  EXPECT_EQ(received, jar);
}

TEST(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a=1", "a"},
      {" a = 1", "a"},
      {"flag", "flag"},
      {" flag ", "flag"},
      {"=v", ""},
      {"", ""},
      {"a=b=c", "a"},
      {"\tk=v", "\tk"},
      {"\xA1\xA1k\xA1\xA1=v", "k"},
      {"\xD6\xD0=v", "\xD6\xD0"},
      {"\x81=x=y", "\x81=x"},  // "=" as a second byte is no separator
  };
  for (const auto& [item, name] : cases) EXPECT_EQ(cookieName(item), name) << item;
}

TEST(RemoveDuplicateItems, KeepsTheFirstOfEqualItems) {
  struct Case {
    std::string text;
    std::string separator;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "; ", ""},
      {"a; b; a; c; b", "; ", "a; b; c"},
      {"a; a; ", "; ", "a"},
      {"a=1; a=2", "; ", "a=1; a=2"},
      {"A; a", "; ", "A; a"},
      {"; ; a", "; ", "; a"},
      {"x,y,x,,z,", ",", "x,y,,z"},
      {"abc", "", "abc"},
      {"1\r\n2\r\n1\r\n", "\r\n", "1\r\n2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(removeDuplicateItems(c.text, c.separator), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace varnelo
