// The pure rules of the engine: counting, folder names, picture addresses,
// progress values.
#include <gtest/gtest.h>

#include <string>

#include "app/job_intake.h"
#include "app/page_worker.h"

namespace varnelo {
namespace {

struct CountCase {
  const char* label;
  Text text;
  Text subtext;
  bool caseSensitive;
  int expected;
};

TEST(CountOccurrences, CountsWithoutOverlapAndNeverInsideATwoByteCharacter) {
  const CountCase cases[] = {
      {"no overlap", "aaa", "aa", true, 1},
      {"four a give two", "aaaa", "aa", true, 2},
      {"case ignored", "x.jpg", ".JPG", false, 1},
      {"case kept", "x.jpg", ".JPG", true, 0},
      {"mixed cases", "a.Jpg b.JPG c.jpg", ".jpg", false, 3},
      {"empty text", "", "a", false, 0},
      {"empty subtext", "abc", "", false, 0},
      {"line breaks", "a\r\nb\r\nc", "\r\n", false, 2},
      {"lone LF is no line break", "a\nb\r\n", "\r\n", false, 1},
      // 0xB5 0x5C is one character: its second byte is no backslash.
      {"second byte 0x5C", "\xb5\\\\", "\\", true, 1},
      // 0x81 0x7C is one character; only the single | counts.
      {"second byte 0x7C", "\x81|x|", "|", true, 1},
      // 0xC1 0x41 is one character; the A after it does count.
      {"letter as second byte", "\xc1" "AA", "a", false, 1},
      {"two-byte subtext", "\xd6\xd0\xd6\xd0", "\xd6\xd0", true, 2},
      {"no match across characters", "\xb0\xa1\xb0\xa1", "\xa1\xb0", true, 0},
  };
  for (const CountCase& c : cases) {
    EXPECT_EQ(countOccurrences(c.text, c.subtext, c.caseSensitive), c.expected) << c.label;
  }
}

struct NameCase {
  const char* label;
  Text name;
  Text expected;
};

TEST(SafeFolderName, ReplacesOnlySingleByteTroubleAndCutsOnCharacterBoundaries) {
  const Text long120(120, 'a');
  const NameCase cases[] = {
      {"plain", "My Page", "My Page"},
      {"empty stays empty", "", ""},
      {"separators", "a/b\\c", "a_b_c"},
      {"every reserved character", ":*?\"<>|", "_______"},
      {"control characters", std::string("a\tb\rc\nd\x01" "e\x1f", 10), "a_b_c_d_e_"},
      {"climbing out", "../../etc", ".._.._etc"},
      {"dot", ".", "_"},
      {"dot dot", "..", "_"},
      {"three dots stay", "...", "..."},
      {"spaces stay", "  a  ", "  a  "},
      {"delete and other punctuation stay", "a\x7f#%&'()+,;=@[]^`{}~", "a\x7f#%&'()+,;=@[]^`{}~"},
      {"second byte 0x5C kept", "\xb5\\\xc4\\", "\xb5\\\xc4\\"},
      {"second byte 0x7C kept", "\x81|a|", "\x81|a_"},
      {"Chinese kept", "\xd6\xd0\xce\xc4", "\xd6\xd0\xce\xc4"},
      // A first byte without a usable second byte is no character: it would
      // merge with the separator that follows it in a path.
      {"lone first byte at the end", "ab\xd6", "ab_"},
      {"first byte before a slash", "\xd6/x", "__x"},
      {"120 bytes kept", long120, long120},
      {"cut to 120", long120 + "bcd", long120},
      {"cut before a split character", Text(119, 'a') + "\xd6\xd0" + "z", Text(119, 'a')},
      {"cut after a whole character", Text(118, 'a') + "\xd6\xd0" + "z", Text(118, 'a') + "\xd6\xd0"},
      {"replacement counted before the cut", Text(119, '/') + "\xd6\xd0", Text(119, '_')},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(safeFolderName(c.name), c.expected) << c.label;
  }
}

TEST(SafeFolderName, NeverTouchesTheSecondByteOfAnyTwoByteCharacter) {
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const Text character{static_cast<char>(lead), static_cast<char>(trail)};
      ASSERT_EQ(safeFolderName(character), character) << lead << " " << trail;
    }
  }
}

TEST(ChoosePageName, NameMarkersWinOverTheTitleAndLetterCaseMatters) {
  const Text marker = "<!-- \xc3\xfb\xb3\xc6 -->";
  const Text markerEnd = "<!-- end \xc3\xfb\xb3\xc6 -->";
  const NameCase cases[] = {
      {"title", "<html><title>Hello</title>", "Hello"},
      {"capital title tag", "<TITLE>Hello</TITLE>", ""},
      {"markers", "<title>T</title>" + marker + "Named" + markerEnd, "Named"},
      {"empty markers fall back", "<title>T</title>" + marker + markerEnd, "T"},
      {"neither", "<p>nothing</p>", ""},
      {"first title", "<title>A</title><title>B</title>", "A"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(choosePageName(c.name), c.expected) << c.label;
  }
}

TEST(PictureAddressIn, RunsFromTheLastHttpAndIsCappedAt10000Bytes) {
  const NameCase cases[] = {
      {"full address", "<img src=\"https://a.test/x.jpg", "https://a.test/x.jpg"},
      {"last http wins", "http://a/ <a href=http://b/>c.jpg", "http://b/>c.jpg"},
      {"link before a plain name", "<a href=\"http://l/\">x</a><img src=\"p.jpg",
       "http://l/\">x</a><img src=\"p.jpg"},
      {"no http", "<img src=\"/p.jpg", ""},
      {"capital HTTP is not found", "HTTP://a/p.jpg", ""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(pictureAddressIn(c.name), c.expected) << c.label;
  }
  const Text longAddress = "http://a/" + Text(20000, 'x') + ".jpg";
  EXPECT_EQ(pictureAddressIn("<img " + longAddress), longAddress.substr(0, 10000));
}

TEST(ProgressPercent, TruncatesTheDoublePrecisionShare) {
  struct Case {
    int n, total, expected;
  };
  const Case cases[] = {{29, 100, 28}, {1, 3, 33},  {2, 3, 66}, {3, 3, 100},
                        {1, 4, 25},    {2, 4, 50},  {1, 1, 100}, {1, 0, 0},
                        {255, 300, 85}};
  for (const Case& c : cases) {
    EXPECT_EQ(progressPercent(c.n, c.total), c.expected) << c.n << "/" << c.total;
  }
}

TEST(SetProcessUserAgent, SaysThatThereIsNoLayerToSet) {
  EXPECT_FALSE(setProcessUserAgent("Agent/1.0"));
}

}  // namespace
}  // namespace varnelo
