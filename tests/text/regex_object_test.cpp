// RegexObject: the two patterns the system uses, the dialect it relies on,
// the empty results after failures, and the position lookup with its quirk.
#include "text/regex_object.h"

#include <gtest/gtest.h>

#include <string>

namespace varnelo {
namespace {

const Text kBlankLines = "(?:^\\r|\\n$)";
const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// The job intake's cleaning: execute with every option omitted, then replace
// with empty text.
Text cleaned(const Text& text) {
  RegexObject regex;
  regex.execute(kBlankLines, text);
  return regex.replace("");
}

TEST(RegexObject, RemovesBlankLinesLikeTheJobIntake) {
  const struct {
    const char* name;
    Text in;
    Text out;
  } cases[] = {
      {"one blank line", "a\r\n\r\nb", "a\r\nb"},
      {"two blank lines", "a\r\n\r\n\r\nb", "a\r\nb"},
      {"line feeds only", "a\n\nb", "a\nb"},
      {"no blank line", "a\r\nb", "a\r\nb"},
      {"ends in CR LF", "a\r\nb\r\n", "a\r\nb\r"},
      {"starts with CR LF", "\r\na", "\na"},
      {"Chinese lines", "\xD6\xD0\r\n\r\n\xCE\xC4", "\xD6\xD0\r\n\xCE\xC4"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleaned(c.in), c.out);
  }
}

TEST(RegexObject, FindsTheDeclaredCharset) {
  const struct {
    const char* name;
    Text body;
    bool found;
    Text charset;
  } cases[] = {
      {"quoted", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"utf-8\">", true, "utf-8"},
      {"bare", "<head><meta content=\"text/html; charset=gb2312\"></head>", true, "gb2312"},
      {"upper-case tag", "<META CHARSET=\"UTF-8\">", true, "UTF-8"},
      {"HTML5 form", "<meta charset='big5'>", true, "big5"},
      {"line feed after <meta", "<meta\ncharset=utf-8>", false, ""},
      {"CR LF line", "<meta a=b>\r\n<meta charset=\"euc-jp\">", true, "euc-jp"},
      {"Chinese before it", "\xD6\xD0\xCE\xC4<meta charset=\"gbk\">", true, "gbk"},
      {"no declaration", "<html><body>\xD6\xD0</body></html>", false, ""},
      {"name stops at a Chinese character", "<meta charset=utf-8\xD6\xD0>", true, "utf-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject regex;
    EXPECT_TRUE(regex.execute(kCharsetPattern, c.body));
    EXPECT_EQ(regex.matchCount(), c.found ? 1 : 0);
    EXPECT_EQ(regex.subMatchText(1, 1), c.charset);
  }
}

TEST(RegexObject, MalformedPatternLeavesOnlyEmptyResults) {
  for (const Text pattern : {"(", "a)", "[a", "*", "\\", "x{2,1}"}) {
    SCOPED_TRACE(pattern);
    RegexObject regex;
    EXPECT_FALSE(regex.execute(pattern, "aaa"));
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.subMatchCount(), 0);
    EXPECT_EQ(regex.matchText(1), "");
    EXPECT_EQ(regex.subMatchText(1, 1), "");
    EXPECT_EQ(regex.replace(""), "");
    EXPECT_EQ(regex.pattern(), pattern);  // the component exists and holds it
  }
  // A good execute after a bad one works again, and a bad one after a good
  // one drops the earlier matches.
  RegexObject regex;
  EXPECT_TRUE(regex.execute("a", "aa"));
  EXPECT_EQ(regex.matchCount(), 2);
  EXPECT_FALSE(regex.execute("(", "aa"));
  EXPECT_EQ(regex.matchCount(), 0);
  EXPECT_EQ(regex.matchText(1), "");
}

TEST(RegexObject, NewObjectAndObjectWithoutMatches) {
  RegexObject fresh;
  EXPECT_EQ(fresh.pattern(), "");
  EXPECT_EQ(fresh.replace("x"), "");
  EXPECT_EQ(fresh.matchCount(), 0);
  EXPECT_EQ(fresh.subMatchCount(), 0);
  Pos position = 7;
  EXPECT_EQ(fresh.matchText(1, &position), "");
  EXPECT_EQ(position, -2);  // empty text searched in an empty subject

  RegexObject regex;
  EXPECT_TRUE(regex.execute("(x)", "abc"));
  EXPECT_EQ(regex.matchCount(), 0);
  EXPECT_EQ(regex.subMatchCount(), 0);
  EXPECT_EQ(regex.subMatchText(1, 1), "");
  EXPECT_EQ(regex.replace("y"), "abc");
}

TEST(RegexObject, MatchesGroupsAndNumbering) {
  RegexObject regex;
  ASSERT_TRUE(regex.execute("(\\d+)-(\\d+)?", "10-20 30- 40-50"));
  ASSERT_EQ(regex.matchCount(), 3);
  EXPECT_EQ(regex.subMatchCount(), 2);
  EXPECT_EQ(regex.matchText(1), "10-20");
  EXPECT_EQ(regex.matchText(2), "30-");
  EXPECT_EQ(regex.matchText(3), "40-50");
  EXPECT_EQ(regex.matchText(0), "");
  EXPECT_EQ(regex.matchText(4), "");
  EXPECT_EQ(regex.subMatchText(2, 1), "30");
  EXPECT_EQ(regex.subMatchText(2, 2), "");  // took no part
  EXPECT_EQ(regex.subMatchText(3, 2), "50");
  EXPECT_EQ(regex.subMatchText(1, 0), "");
  EXPECT_EQ(regex.subMatchText(1, 3), "");
  EXPECT_EQ(regex.subMatchText(4, 1), "");
}

TEST(RegexObject, Options) {
  const struct {
    const char* name;
    Text pattern;
    Text subject;
    bool caseSensitive, multiline, global;
    int count;
    Text replaced;  // every match replaced by "#"
  } cases[] = {
      {"case ignored by default", "abc", "ABC abc", false, true, true, 2, "# #"},
      {"case-sensitive", "abc", "ABC abc", true, true, true, 1, "ABC #"},
      {"global off: first match only", "b", "abcb", false, true, false, 1, "a#cb"},
      {"multiline: ^ after CR and after LF", "^x", "x\rx\nx\r\nx", false, true, true, 4, "#\r#\n#\r\n#"},
      {"multiline: $ before CR and before LF", "x$", "x\rx\nx\r\nx", false, true, true, 4, "#\r#\n#\r\n#"},
      {"^ and $ meet inside CR LF", "^$", "a\r\nb", false, true, true, 1, "a\r#\nb"},
      {"multiline off: subject ends only", "^x|x$", "x\nx\nx", false, false, true, 2, "#\nx\n#"},
      {"dot does not cross a line feed", "a.+b", "a\nb a-b", false, true, true, 1, "a\nb #"},
      {"lazy plus", "<.+?>", "<a><b>", false, true, true, 2, "##"},
      {"\\w is ASCII only", "\\w+", "\xD6\xD0" "ab_9\xCE\xC4", false, true, true, 1, "\xD6\xD0#\xCE\xC4"},
      {"[^\\w] takes Chinese, CR and LF", "[^\\w]", "\xD6\xD0\r\na", false, true, true, 3, "###a"},
      {"Chinese literal", "\xCE\xC4", "\xD6\xD0\xCE\xC4\xCE\xC4", false, true, true, 2, "\xD6\xD0##"},
      {"Greek letters ignore case", "\xA6\xC1", "\xA6\xA1\xA6\xC1", false, true, true, 2, "##"},
      {"full-width letters ignore case", "\xA3\xE1", "\xA3\xC1", false, true, true, 1, "#"},
      {"full-width letters case-sensitive", "\xA3\xE1", "\xA3\xC1", true, true, true, 0, "\xA3\xC1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject regex;
    ASSERT_TRUE(regex.execute(c.pattern, c.subject, c.caseSensitive, c.multiline, c.global));
    EXPECT_EQ(regex.matchCount(), c.count);
    EXPECT_EQ(regex.replace("#"), c.replaced);
  }
}

TEST(RegexObject, QuoteEscape) {
  const Text pattern = "charset=#\xD2\xFD\xBA\xC5";  // "#引号" in code page 936
  RegexObject regex;
  EXPECT_TRUE(regex.execute(pattern, "charset=\"x", false, true, true, true));
  EXPECT_EQ(regex.matchText(1), "charset=\"");
  EXPECT_EQ(regex.pattern(), "charset=\"");
  EXPECT_TRUE(regex.execute(pattern, "charset=\"x charset=#\xD2\xFD\xBA\xC5"));
  EXPECT_EQ(regex.matchCount(), 1);
  EXPECT_EQ(regex.matchText(1), "charset=#\xD2\xFD\xBA\xC5");
  EXPECT_EQ(regex.pattern(), pattern);
}

TEST(RegexObject, ReplacementDollarSequences) {
  RegexObject regex;
  ASSERT_TRUE(regex.execute("(a)(b)?", "xaby a"));
  const struct {
    Text replacement;
    Text result;
  } cases[] = {
      {"[$1]", "x[a]y [a]"},       {"[$2]", "x[b]y []"},   {"$&$&", "xababy aa"},
      {"$$", "x$y $"},             {"$3$0$", "x$3$0$y $3$0$"}, {"$`|", "xx|y xaby |"},
      {"$'|", "xy a|y |"},         {"$12", "xa2y a2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.replacement);
    EXPECT_EQ(regex.replace(c.replacement), c.result);
  }
}

TEST(RegexObject, PositionLookup) {
  RegexObject regex;
  Pos position = 99;
  // ASCII subject: the unit offset equals the byte offset.
  ASSERT_TRUE(regex.execute("c(d)", "abcdcd"));
  EXPECT_EQ(regex.matchText(2, &position), "cd");
  EXPECT_EQ(position, 4);
  // The search starts at the 1-based byte position equal to the 0-based
  // offset, one byte early, and a group is looked for from its match's start.
  EXPECT_EQ(regex.subMatchText(2, 1, &position), "d");
  EXPECT_EQ(position, 3);
  // Two-byte characters before the match: the byte search starts too early
  // and reports the first equal text at or after that start.
  ASSERT_TRUE(regex.execute("ab", "ab\xD6\xD0\xD6\xD0" "ab"));
  EXPECT_EQ(regex.matchText(2, &position), "ab");
  EXPECT_EQ(position, 6);  // unit offset 4; the search starts on a second byte
  ASSERT_TRUE(regex.execute("ab", "\xD6\xD0\xD6\xD0" "ab" "ab"));
  EXPECT_EQ(regex.matchText(1, &position), "ab");
  EXPECT_EQ(position, 4);  // search from byte 3 finds the right one
  EXPECT_EQ(regex.matchText(2, &position), "ab");
  EXPECT_EQ(position, 4);  // search from byte 5 finds the earlier one
  // The search follows the ignore-case setting.
  ASSERT_TRUE(regex.execute("b", "aB"));
  EXPECT_EQ(regex.matchText(1, &position), "B");
  EXPECT_EQ(position, 1);
  // Empty results: position 0 in a non-empty subject.
  ASSERT_TRUE(regex.execute("x(y)?", "abx"));
  EXPECT_EQ(regex.subMatchText(1, 1, &position), "");
  EXPECT_EQ(position, 0);
  EXPECT_EQ(regex.matchText(5, &position), "");
  EXPECT_EQ(position, 0);
  // A match whose text does not read back as the subject's bytes is not
  // found: a byte that does not decode comes back as "?".
  ASSERT_TRUE(regex.execute("[^a]", "a\xFF"));
  EXPECT_EQ(regex.matchText(1, &position), "?");
  EXPECT_EQ(position, -2);
  // Without the output nothing is written.
  position = 42;
  EXPECT_EQ(regex.matchText(1), "?");
  EXPECT_EQ(position, 42);
}

TEST(RegexObject, BadSubjectsDoNotBreakIt) {
  RegexObject regex;
  EXPECT_TRUE(regex.execute("b", std::string("ab\0b", 4)));  // ends at the NUL
  EXPECT_EQ(regex.matchCount(), 1);
  EXPECT_TRUE(regex.execute(".", "\xD6"));  // lone lead byte
  EXPECT_EQ(regex.matchCount(), 1);
  EXPECT_EQ(regex.replace("x"), "x");
  EXPECT_TRUE(regex.execute("", "ab"));  // empty pattern matches between characters
  EXPECT_EQ(regex.replace("-"), "-a-b-");
}

TEST(RegexObject, LongSubjectsAndMatches) {
  // The address-list cleaning on a long list stays correct.
  std::string list;
  for (int i = 0; i < 20000; ++i) list += "http://example.com/" + std::to_string(i) + "\r\n\r\n";
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "http://example.com/" + std::to_string(i) + "\r\n";
  expected.pop_back();  // the final line feed goes, as with any list ending in CR LF
  EXPECT_TRUE(cleaned(list) == expected);
  // A match of a few thousand characters.
  RegexObject regex;
  ASSERT_TRUE(regex.execute("<meta.+?charset=([-\\w]+)", "<meta" + std::string(5000, ' ') + "charset=utf-8"));
  EXPECT_EQ(regex.subMatchText(1, 1), "utf-8");
}

}  // namespace
}  // namespace varnelo
