#include "http/response_decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/charset_decoder.h"

namespace varnelo {
namespace {

using namespace std::string_literals;

// UTF-8 and GBK forms of the same characters, for the cases below.
const std::string kUtf8Zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kGbkZhongwen = "\xD6\xD0\xCE\xC4";

Text decode(const std::string& body) {
  RegexObject regex;
  return decodeResponseText(bytesOf(body), regex);
}

struct DeclaredCase {
  std::string declaration;  // ASCII markup in front of the payload
  std::string payload;      // bytes in the declared character set
  std::string expected;     // the payload in code page 936
};

TEST(DecodeResponseText, ReDecodesTheBodyFromTheDeclaredCharacterSet) {
  const std::vector<DeclaredCase> cases = {
      {"<meta charset=\"utf-8\">", kUtf8Zhongwen, kGbkZhongwen},
      {"<META CHARSET=UTF-8>", kUtf8Zhongwen, kGbkZhongwen},
      {"<Meta charset='Utf-8'>", kUtf8Zhongwen, kGbkZhongwen},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />", kUtf8Zhongwen,
       kGbkZhongwen},
      {"<html><head><meta charset=utf-8><title>", kUtf8Zhongwen + "</title>",
       kGbkZhongwen + "</title>"},
      {"<meta charset=big5>", "\xA4\xA4\xA4\xE5", kGbkZhongwen},
      {"<meta charset=shift_jis>", "\x93\xFA\x96\x7B", "\xC8\xD5\xB1\xBE"},  // 日本
      {"<meta charset=Shift_JIS>", "\x93\xFA\x96\x7B", "\xC8\xD5\xB1\xBE"},
      {"<meta charset=euc-jp>", "\xC6\xFC\xCB\xDC", "\xC8\xD5\xB1\xBE"},
      {"<meta charset=iso-2022-jp>", "\x1B$BF|K\\\x1B(B", "\xC8\xD5\xB1\xBE"},
      // Hangul has no place in code page 936; the Chinese character has.
      {"<meta charset=euc-kr>", "\xC7\xD1\xF1\xE9", "?\xD6\xD0"},
      // é, ¤ and, as in Windows-1252, € at 0x80.
      {"<meta charset=iso-8859-1>", "\xE9\xA4\x80", "\xA8\xA6\xA1\xE8\x80"},
      {"<meta charset=windows-1252>", "\x93x\x94", "\xA1\xB0x\xA1\xB1"},
      {"<meta charset=windows-1251>", "\xCF\xF0", "\xA7\xB1\xA7\xE2"},  // Пр
      {"<meta charset=koi8-r>", "\xF0\xD2", "\xA7\xB1\xA7\xE2"},
      // A four-byte GB18030 character outside code page 936 becomes "?".
      {"<meta charset=gb18030>", "\xA2\xE3\x81\x30\x81\x30" + kGbkZhongwen, "\x80?" + kGbkZhongwen},
      // Capitals are not exempt: re-decoded, and a byte that starts no
      // character becomes "?".
      {"<meta charset=GB2312>", "\xD6\xD0\xFF", "\xD6\xD0?"},
      {"<meta charset=GBK>", "\xD6\xD0\xFF", "\xD6\xD0?"},
      // Characters code page 936 cannot hold, and bytes that do not decode.
      {"<meta charset=utf-8>", "a\xF0\x9F\x98\x80z", "a?z"},
      {"<meta charset=utf-8>", "a\xFF\xFEz", "a??z"},
      {"<meta charset=utf-8>", "a\xE4\xB8", "a?"},
      {"<meta charset=utf-8>", "a\xED\xA0\x80z", "a???z"},  // an encoded surrogate
      // A wide encoding named in a page readable byte by byte reads as UTF-8.
      {"<meta charset=utf-16>", kUtf8Zhongwen, kGbkZhongwen},
      {"<meta charset=UTF-16LE>", kUtf8Zhongwen, kGbkZhongwen},
      // The zero byte ends the decoded text as it ends the body text.
      {"<meta charset=utf-8>", "\xE4\xB8\xAD\0\xE6\x96\x87"s, "\xD6\xD0"},
  };
  for (const DeclaredCase& c : cases) {
    EXPECT_EQ(decode(c.declaration + c.payload), c.declaration + c.expected) << c.declaration;
  }
}

TEST(DecodeResponseText, DropsAUtf8ByteOrderMark) {
  const std::string declaration = "<meta charset=utf-8>";
  EXPECT_EQ(decode("\xEF\xBB\xBF" + declaration + kUtf8Zhongwen), declaration + kGbkZhongwen);
}

TEST(DecodeResponseText, KeepsTheBodyTextWhenNothingIsToBeDecoded) {
  const std::string padding(1024, 'x');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"<html><title>\xD6\xD0</title></html>", "<html><title>\xD6\xD0</title></html>"},
      // The exempt names, exactly so, leave even undecodable bytes alone.
      {"<meta charset=\"gbk\">\xD6\xD0\xFF\x80", "<meta charset=\"gbk\">\xD6\xD0\xFF\x80"},
      {"<meta charset=gb2312>\xD6\xD0\xFF", "<meta charset=gb2312>\xD6\xD0\xFF"},
      // The pattern does not cross a line feed.
      {"<meta\ncharset=utf-8>" + kUtf8Zhongwen, "<meta\ncharset=utf-8>" + kUtf8Zhongwen},
      {"<body charset=utf-8>" + kUtf8Zhongwen, "<body charset=utf-8>" + kUtf8Zhongwen},
      {"<meta charset=\"\">" + kUtf8Zhongwen, "<meta charset=\"\">" + kUtf8Zhongwen},
      // Nothing after the first 1024 bytes is looked at.
      {padding + "<meta charset=utf-8>" + kUtf8Zhongwen,
       padding + "<meta charset=utf-8>" + kUtf8Zhongwen},
      // A name the decoder does not know, or refuses, leaves the body as it came.
      {"<meta charset=x-no-such-set>\xD6\xD0", "<meta charset=x-no-such-set>\xD6\xD0"},
      {"<meta charset=utf-7>a+AGE-", "<meta charset=utf-7>a+AGE-"},
      // Text ends at the first zero byte; detection sees only what is before it.
      {"abc\0<meta charset=utf-8>"s + kUtf8Zhongwen, "abc"},
      {"<meta charset=gbk>\xD6\xD0\0\xCE\xC4"s, "<meta charset=gbk>\xD6\xD0"},
      {"\0\0\0"s, ""},
  };
  for (const auto& [body, expected] : cases) EXPECT_EQ(decode(body), expected) << body;
}

TEST(DecodeResponseText, SeesOnlyThePartOfANameInsideTheWindow) {
  // "iso-8859-15" reads 0xA4 as €, its first ten bytes "iso-8859-1" as ¤.
  const std::string declaration = "<meta charset=iso-8859-15>";
  const std::size_t nameEnd = declaration.size() - 1;  // the ">"
  const std::string lastNameByteOutside(1024 - (nameEnd - 1), 'x');
  const std::string wholeNameInside(1024 - nameEnd, 'x');
  EXPECT_EQ(decode(lastNameByteOutside + declaration + "\xA4"),
            lastNameByteOutside + declaration + "\xA1\xE8");
  EXPECT_EQ(decode(wholeNameInside + declaration + "\xA4"), wholeNameInside + declaration + "\x80");
  // A declaration whose "<meta" starts at byte 1025 is not seen at all.
  const std::string outside(1024, 'x');
  EXPECT_EQ(decode(outside + declaration + "\xA4"), outside + declaration + "\xA4");
}

TEST(DecodeResponseText, SurvivesLoneLeadBytes) {
  const std::string declaration = "<meta charset=utf-8>";
  const std::vector<std::string> bodies = {
      "\x81",
      "\xD6",
      std::string(1023, 'x') + "\xD6\xD0",  // the window ends inside a character
      std::string(1023, 'x') + "\xD6",
      "<meta charset=\xD6\xD0>\x81",
      "<meta\x81 charset=utf-8>\x81",
      declaration + std::string(1003, 'x') + "\xE4\xB8\xAD",
      declaration + "\x81",
      declaration + "\xE4",
      declaration + "\xC0\x80",  // an over-long zero
  };
  for (const std::string& body : bodies) {
    const Text text = decode(body);
    EXPECT_EQ(text.find('\0'), Text::npos);
  }
  EXPECT_EQ(decode(declaration + "\x81"), declaration + "?");
  EXPECT_EQ(decode(declaration + "\xC0\x80z"), declaration + "??z");
}

TEST(DecodeResponseText, HandlesLargeBodies) {
  const std::size_t size = 10 * 1024 * 1024;
  const std::string declaration = "<meta charset=\"utf-8\">";

  std::string body = declaration;
  body.reserve(declaration.size() + size);
  while (body.size() + kUtf8Zhongwen.size() <= declaration.size() + size) body += kUtf8Zhongwen;
  const std::size_t pairs = (body.size() - declaration.size()) / kUtf8Zhongwen.size();
  const Text text = decode(body);
  ASSERT_EQ(text.size(), declaration.size() + pairs * kGbkZhongwen.size());
  EXPECT_EQ(text.substr(0, declaration.size() + 4), declaration + kGbkZhongwen);
  EXPECT_EQ(text.substr(text.size() - 4), kGbkZhongwen);

  EXPECT_EQ(decode(std::string(size, '\0')), "");
  EXPECT_EQ(decode(declaration + std::string(size, '\0')), declaration);

  // Random bytes without zeros, read as UTF-8: every byte gives something.
  std::mt19937 random(7);
  std::string noise = declaration;
  noise.reserve(declaration.size() + size);
  for (std::size_t i = 0; i < size; ++i) noise.push_back(static_cast<char>(1 + random() % 255));
  const Text decoded = decode(noise);
  EXPECT_GT(decoded.size(), size / 4);
  EXPECT_EQ(decoded.find('\0'), Text::npos);
}

TEST(CharsetDecoder, KnowsTheNamesThatPagesDeclare) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"utf-8", true},       {"UTF-8", true},        {"utf8", true},       {"big5", true},
      {"Big5", true},        {"shift_jis", true},    {"SJIS", true},       {"euc-jp", true},
      {"EUC-KR", true},      {"iso-8859-1", true},   {"windows-1252", true}, {"gb18030", true},
      {"GB2312", true},      {"GBK", true},          {"koi8-r", true},     {"windows-1251", true},
      {"iso-8859-15", true}, {"iso-2022-jp", true},  {"utf-16", true},     {"x-no-such-set", false},
      {"", false},           {"utf-7", false},       {"UTF-8//IGNORE", false}, {"../x", false},
      {std::string(64, 'a'), false},
  };
  for (const auto& [name, known] : cases) EXPECT_EQ(platform::isKnownCharset(name), known) << name;
}

TEST(CharsetDecoder, KeepsZeroBytesAndTellsUnknownNames) {
  const Bytes body = bytesOf("a\0\xE4\xB8\xAD\0"s);
  const std::optional<Bytes> decoded = platform::decodeCharsetToGbk(body, "utf-8");
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, bytesOf("a\0\xD6\xD0\0"s));
  EXPECT_FALSE(platform::decodeCharsetToGbk(body, "x-no-such-set").has_value());
  const std::optional<Bytes> empty = platform::decodeCharsetToGbk(Bytes(), "utf-8");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(CharsetDecoder, DecodesCharactersThatStraddleItsReadingWindows) {
  struct Case {
    const char* name;
    std::string head, unit, tail;  // the body is head, unit many times, tail
    std::string expected;           // the GBK form of one unit
  };
  const std::vector<Case> cases = {
      {"utf-8", "a", kUtf8Zhongwen, "", kGbkZhongwen},
      {"big5", "a", "\xA4\xA4\xA4\xE5", "", kGbkZhongwen},
      {"shift_jis", "a", "\x93\xFA\x96\x7B", "", "\xC8\xD5\xB1\xBE"},
      {"gb18030", "a", "\xA2\xE3", "", "\x80"},
      {"iso-2022-jp", "a\x1B$B", "F|K\\", "\x1B(B", "\xC8\xD5\xB1\xBE"},
  };
  for (const Case& c : cases) {
    std::string body = c.head;
    std::string expected = "a";
    for (int i = 0; i < 3000; ++i) {
      body += c.unit;
      expected += c.expected;
    }
    body += c.tail;
    EXPECT_EQ(platform::decodeCharsetToGbk(bytesOf(body), c.name), bytesOf(expected)) << c.name;
  }
}

TEST(CharsetDecoder, ReadsRandomBytesInEveryCharacterSet) {
  std::mt19937 random(11);
  Bytes body(64 * 1024);
  for (auto& byte : body) byte = static_cast<std::uint8_t>(random());
  for (const char* name : {"utf-8", "big5", "big5-hkscs", "shift_jis", "euc-jp", "euc-kr",
                           "gb18030", "GB2312", "iso-8859-1", "windows-1252", "iso-2022-jp",
                           "koi8-r"}) {
    const std::optional<Bytes> decoded = platform::decodeCharsetToGbk(body, name);
    ASSERT_TRUE(decoded.has_value()) << name;
    EXPECT_FALSE(decoded->empty()) << name;
    // Whatever came in, what comes out is well-formed code page 936: read
    // as GBK it stays the same bytes.
    EXPECT_EQ(platform::decodeCharsetToGbk(*decoded, "gbk"), decoded) << name;
  }
}

TEST(CharsetDecoder, GivesTheSameResultsOnManyThreadsAtOnce) {
  struct Job {
    const char* name;
    Bytes body;
    Bytes expected;
  };
  const std::vector<Job> jobs = {
      {"utf-8", bytesOf(kUtf8Zhongwen), bytesOf(kGbkZhongwen)},
      {"big5", bytesOf("\xA4\xA4\xA4\xE5"), bytesOf(kGbkZhongwen)},
      {"shift_jis", bytesOf("\x93\xFA\x96\x7B"), bytesOf("\xC8\xD5\xB1\xBE")},
      {"iso-2022-jp", bytesOf("\x1B$BF|K\\\x1B(B"), bytesOf("\xC8\xD5\xB1\xBE")},
  };
  std::vector<int> failures(8, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        const Job& job = jobs[(t + static_cast<std::size_t>(round)) % jobs.size()];
        if (platform::decodeCharsetToGbk(job.body, job.name) != job.expected) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace varnelo
