#include "cli/address_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "support/temp_dir.h"

namespace varnelo::cli {
namespace {

TEST(WithCrLfBreaks, EveryKindOfBreakBecomesCrLf) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"a", "a"},
      {"a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\r\nb"},
      {"a\n\nb\n", "a\r\n\r\nb\r\n"},
      {"a\r\rb", "a\r\n\r\nb"},
      // LF CR is two breaks, as a text box would see it.
      {"a\n\rb", "a\r\n\r\nb"},
      {"a\r\n\r\n\nb\r", "a\r\n\r\n\r\nb\r\n"},
      {"\n", "\r\n"},
      {"\r", "\r\n"},
      {"\xEF\xBB\xBF" "a\nb", "a\r\nb"},
      // Only a leading mark is one; elsewhere it is a character.
      {"a\xEF\xBB\xBF", "a\xEF\xBB\xBF"},
      {std::string("a\0b\n", 4), "ab\r\n"},
      {" \t x \n", " \t x \r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(withCrLfBreaks(c.in), c.out);
  }
}

TEST(FirstInvalidUtf8Line, FindsTheLineOfTheFirstBadSequence) {
  const struct {
    std::string in;
    int line;
  } cases[] = {
      {"", 0},
      {"http://a/b.html\n", 0},
      {"http://\xE4\xB8\xAD\xE6\x96\x87/\n", 0},        // 中文
      {"\xF0\x9F\x98\x80", 0},                          // U+1F600
      {"\xEF\xBF\xBF", 0},                              // U+FFFF
      {"a\nb\n\xD6\xD0\xCE\xC4\n", 3},                  // GBK 中文 is not UTF-8
      {"\xC0\xAF", 1},                                  // overlong "/"
      {"\xE0\x80\xAF", 1},                              // overlong, three bytes
      {"\xED\xA0\x80", 1},                              // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", 1},                          // above U+10FFFF
      {"ok\r\n\xE4\xB8", 2},                            // cut short at the end
      {"\x80", 1},
      {"\xFF", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(firstInvalidUtf8Line(c.in), c.line);
  }
}

TEST(AddressBoxText, ConvertsUtf8ToGbkWithCrLfBreaks) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"\n", "\r\n"},
      {"http://h/a.html\nhttp://h/b.html", "http://h/a.html\r\nhttp://h/b.html"},
      // 中文 in UTF-8 gives D6 D0 CE C4 in code page 936; the breaks stay CR LF.
      {"http://h/\xE4\xB8\xAD\xE6\x96\x87.html\rx", "http://h/\xD6\xD0\xCE\xC4.html\r\nx"},
      // A character 936 cannot hold becomes "?".
      {"a\xF0\x9F\x98\x80" "b", "a?b"},
      {"\xEF\xBB\xBF" "a", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    EXPECT_EQ(addressBoxText(c.in), c.out);
  }
}

TEST(ReadListSource, ReadsFilesWholeAndNamesWhatCannotBeRead) {
  testing::TempDir dir;
  const std::string big(300000, 'x');
  const auto file = dir.path() / "list.txt";
  std::ofstream(file, std::ios::binary) << big << "\r\n";

  std::string content, error;
  ASSERT_TRUE(readListSource(file.string(), &content, &error)) << error;
  EXPECT_EQ(content, big + "\r\n");

  const auto empty = dir.path() / "empty.txt";
  std::ofstream(empty, std::ios::binary).flush();
  EXPECT_TRUE(readListSource(empty.string(), &content, &error));
  EXPECT_EQ(content, "");

  const std::string missing = (dir.path() / "missing.txt").string();
  EXPECT_FALSE(readListSource(missing, &content, &error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  EXPECT_FALSE(readListSource(dir.path().string(), &content, &error));
  EXPECT_NE(error.find("directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace varnelo::cli
