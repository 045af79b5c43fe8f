// The regular-expression engine: results as a backtracking engine gives them
// (checked against a table and, on many small random cases, against
// std::wregex), the patterns it refuses, and subjects and patterns that
// would crash or stall a backtracking engine.
#include "text/regex_engine.h"

#include <gtest/gtest.h>

// The library's own engine serves as the oracle below; with sanitizers on,
// GCC warns about its internals, which are none of ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <random>
#include <string>
#include <vector>

namespace varnelo {
namespace {

// The matches as "start-end" per match, each followed by " start-end" or
// " -" per group, matches separated by "|"; "malformed", "gave up" or
// "too long" instead when there is no result.
std::string describe(std::u16string_view pattern, std::u16string_view subject, RegexFlags flags = {},
                     bool all = true) {
  const std::optional<Regex> regex = Regex::compile(pattern, flags);
  if (!regex) return "malformed";
  std::vector<std::int32_t> offsets;
  switch (regex->findMatches(subject, all, offsets)) {
    case RegexResult::kDone:
      break;
    case RegexResult::kGaveUp:
      return "gave up";
    case RegexResult::kTooLong:
      return "too long";
    case RegexResult::kNoMemory:
      return "no memory";
  }
  const std::size_t perMatch = 2 * (regex->groupCount() + 1);
  std::string out;
  for (std::size_t m = 0; m < offsets.size(); m += perMatch) {
    if (m > 0) out += "|";
    for (std::size_t g = 0; g < perMatch; g += 2) {
      if (g > 0) out += " ";
      if (offsets[m + g] < 0) {
        out += "-";
      } else {
        out += std::to_string(offsets[m + g]) + "-" + std::to_string(offsets[m + g + 1]);
      }
    }
  }
  return out;
}

constexpr RegexFlags kPlain{};
constexpr RegexFlags kMultiline{.ignoreCase = false, .multiline = true};
constexpr RegexFlags kIgnoreCase{.ignoreCase = true, .multiline = false};

TEST(RegexEngine, MatchesAndGroups) {
  const struct {
    const char16_t* pattern;
    std::u16string subject;
    RegexFlags flags;
    const char* expected;
  } cases[] = {
      // Leftmost-first, not longest.
      {u"a|ab", u"ab", kPlain, "0-1"},
      {u"ab|a", u"ab", kPlain, "0-2"},
      {u"(a|ab)(c|bcd)(d*)", u"abcd", kPlain, "0-4 0-1 1-4 4-4"},
      // Greedy and lazy quantifiers.
      {u"(a+)(a*)", u"aaa", kPlain, "0-3 0-3 3-3"},
      {u"(a+?)(a*)", u"aaa", kPlain, "0-3 0-1 1-3"},
      {u"a+?", u"aaa", kPlain, "0-1|1-2|2-3"},
      {u"<.+?>", u"<a><b>", kPlain, "0-3|3-6"},
      {u".*?x", u"aaxbx", kPlain, "0-3|3-5"},
      {u"x{2,3}", u"xxxxxxx", kPlain, "0-3|3-6"},
      {u"x{2,3}?", u"xxxxx", kPlain, "0-2|2-4"},
      {u"x{2}", u"x", kPlain, ""},
      {u"a{2,}", u"aaaaa", kPlain, "0-5"},
      {u"(a{2,}?)(a*)", u"aaaa", kPlain, "0-4 0-2 2-4"},
      {u"(?:ab)+", u"ababa", kPlain, "0-4"},
      // Empty matches: the next search starts one unit further.
      {u"a*", u"baa", kPlain, "0-0|1-3|3-3"},
      {u"a*?", u"aa", kPlain, "0-0|1-1|2-2"},
      {u"x{0}", u"ab", kPlain, "0-0|1-1|2-2"},
      {u"a|", u"b", kPlain, "0-0|1-1"},
      {u"()", u"", kPlain, "0-0 0-0"},
      // Groups that take no part, and groups of a repeated atom, which
      // start every pass unset.
      {u"(a)|b", u"b", kPlain, "0-1 -"},
      {u"(a)|(b)", u"ab", kPlain, "0-1 0-1 -|1-2 - 1-2"},
      {u"(?:(a)|b)+", u"ab", kPlain, "0-2 -"},
      {u"(?:(a)|(b))+", u"ba", kPlain, "0-2 1-2 -"},
      {u"(a*)*b", u"aab", kPlain, "0-3 0-2"},
      {u"(a*)*", u"b", kPlain, "0-0 -|1-1 -"},
      {u"(((a)))", u"a", kPlain, "0-1 0-1 0-1 0-1"},
      // Classes and escapes.
      {u"[a-c]+", u"xabcd", kPlain, "1-4"},
      {u"[^a-c]+", u"abxyc", kPlain, "2-4"},
      {u"[\\w-]+", u"a-b c", kPlain, "0-3|4-5"},
      {u"[\\d.]+", u"v1.25x", kPlain, "1-5"},
      {u"[]|a]", u"a]", kPlain, "0-2"},  // "[]" matches nothing
      {u"[^]", u"\n", kPlain, "0-1"},
      {u"\\w+", u"\u4E2Dab_9\u6587", kPlain, "1-5"},
      {u"[^\\w]", u"\u4E2D\r\na", kPlain, "0-1|1-2|2-3"},
      {u"\\W\\D\\S", u"a-x!", kPlain, "1-4"},
      {u"\\s+", u"a \t\r\n\v\fb\u3000", kPlain, "1-7"},
      {u"\\x41\\u00e9\\cJ\\0", std::u16string(u"A\u00e9\n") + char16_t{0}, kPlain, "0-4"},
      {u"[\\b]\\.\\*\\q", u"\b.*q", kPlain, "0-4"},
      {u"a{", u"a{", kPlain, "0-2"},
      {u"a{1,", u"a{1,", kPlain, "0-4"},
      {u"x}]", u"x}]", kPlain, "0-3"},
      // Dot: anything but CR and LF.
      {u".", u"\r\n\u2028", kPlain, "2-3"},
      {u"a.c", u"a\rc a\nc", kPlain, ""},
      // Anchors and word boundaries.
      {u"^a", u"a\na\ra", kPlain, "0-1"},
      {u"^a", u"a\na\ra", kMultiline, "0-1|2-3|4-5"},
      {u"a$", u"a\na\ra", kMultiline, "0-1|2-3|4-5"},
      {u"a$", u"a\na\ra", kPlain, "4-5"},
      {u"^$", u"a\r\nb", kMultiline, "2-2"},
      {u"^", u"\r\n", kMultiline, "0-0|1-1|2-2"},
      {u"(?:^\\r|\\n$)", u"a\r\n\r\n\r\nb", kMultiline, "2-3|3-4|4-5|5-6"},
      {u"\\bfoo\\b", u"foo foobar afoo foo", kPlain, "0-3|16-19"},
      {u"\\Bo", u"foo o", kPlain, "1-2|2-3"},
      // Ignoring case: letters of any script; classes too, negated ones
      // included; "\w" stays ASCII.
      {u"abc", u"ABC abc", kIgnoreCase, "0-3|4-7"},
      {u"[a-z]+", u"ABC", kIgnoreCase, "0-3"},
      {u"[^a-z]", u"A1", kIgnoreCase, "1-2"},
      {u"\u03C3", u"\u03A3\u03C2\u03C3", kIgnoreCase, "0-1|1-2|2-3"},
      {u"\uFF41", u"\uFF21", kIgnoreCase, "0-1"},
      {u"[k-s]", u"\u212A\u017Fks", kIgnoreCase, "2-3|3-4"},  // Kelvin sign, long s
      {u"[^\\w]", u"\u212Ak", kIgnoreCase, "0-1"},
      {u"\uFF41", u"\uFF21", kPlain, ""},
      {u"<meta.+?charset=[^\\w]?([-\\w]+)", u"<META CHARSET=\"UTF-8\">", kIgnoreCase, "0-20 15-20"},
      {u"<meta.+?charset=[^\\w]?([-\\w]+)", u"<meta\ncharset=utf-8>", kIgnoreCase, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern)));
    EXPECT_EQ(describe(c.pattern, c.subject, c.flags), c.expected);
  }
  // Global off: the first match only.
  EXPECT_EQ(describe(u"b", u"abcb", kPlain, false), "1-2");
  EXPECT_EQ(describe(u"x", u"abc", kPlain, false), "");
}

TEST(RegexEngine, RefusesWhatItCannotOrMustNotRun) {
  std::vector<std::u16string> malformed = {
      u"(", u")", u"a)", u"(a", u"[a", u"[", u"*", u"+a", u"?", u"a|*", u"a**", u"a{2}{3}", u"a+*",
      u"\\", u"x{2,1}", u"{1}", u"{1,2}", u"^*", u"$?", u"\\b+", u"(?", u"(?a)", u"[z-a]", u"\\x4",
      u"\\xg0", u"\\u12", u"\\c1", u"\\c", u"\\08",
      // Beyond what a Pike VM does.
      u"\\1", u"(a)\\1", u"[\\1]", u"(?=a)", u"(?!a)", u"(?<=a)", u"(?<!a)", u"(?<n>a)",
      // Beyond the limits.
      u"a{1001}", u"a{0,1001}", u"a{99999999999}", u"(?:a{1000}){101}", u"((a{1000}){1000}){1000}",
      std::u16string(kRegexMaxNesting + 1, u'(') + u"a" + std::u16string(kRegexMaxNesting + 1, u')'),
  };
  for (const std::u16string& pattern : malformed) {
    SCOPED_TRACE(std::string(pattern.begin(), pattern.end()));
    EXPECT_FALSE(Regex::compile(pattern).has_value());
  }
  // Right at the limits.
  const std::u16string deepest =
      std::u16string(kRegexMaxNesting, u'(') + u"a" + std::u16string(kRegexMaxNesting, u')');
  EXPECT_EQ(describe(deepest, u"a").substr(0, 7), "0-1 0-1");
  EXPECT_EQ(describe(u"(?:a{1000}){99}", std::u16string(99000, u'a')), "0-99000");
  EXPECT_EQ(describe(u"a{1000}", std::u16string(999, u'a')), "");
}

// Subjects that overflow the stack of a recursive backtracking engine, and
// patterns that make one take exponential time.
TEST(RegexEngine, LongSubjectsAndPathologicalPatterns) {
  const std::u16string as(1000000, u'a');
  std::u16string ab(1000000, u'a');
  for (std::size_t i = 1; i < ab.size(); i += 2) ab[i] = u'b';
  const struct {
    const char16_t* pattern;
    const std::u16string* subject;
    RegexFlags flags;
    const char* expected;
  } cases[] = {
      {u"a+", &as, kPlain, "0-1000000"},
      {u"(a|b)+", &ab, kPlain, "0-1000000 999999-1000000"},
      {u"[^x]*", &as, kPlain, "0-1000000|1000000-1000000"},
      {u".+?$", &as, kMultiline, "0-1000000"},
      {u"(?:a|b)*?c", &ab, kPlain, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern)));
    EXPECT_EQ(describe(c.pattern, *c.subject, c.flags), c.expected);
  }
  const std::u16string tenThousand(10000, u'a');
  for (const char16_t* pattern : {u"(a*)*b", u"(a|aa)*c", u"(a+)+b", u"(?:a?){1000}a{1000}b"}) {
    SCOPED_TRACE(std::string(pattern, pattern + std::char_traits<char16_t>::length(pattern)));
    EXPECT_EQ(describe(pattern, tenThousand), "");
  }
  // A pattern whose every search scans to the end of the subject would take
  // quadratic time over all matches: the search gives up instead.
  EXPECT_EQ(describe(u".*b|a", std::u16string(40000, u'a')), "gave up");
  EXPECT_EQ(describe(u".*b|a", std::u16string(2000, u'a')).substr(0, 11), "0-1|1-2|2-3");
}

// Small random patterns and subjects against std::wregex, a backtracking
// engine of the same family. Groups inside a quantifier are compared by the
// whole match only (the two differ in how a pass resets them), and
// quantified atoms never match empty text (where the two differ too).
class PatternMaker {
 public:
  explicit PatternMaker(std::uint32_t seed) : random_(seed) {}

  std::u16string pattern(bool& groupInQuantifier) {
    groupInQuantifier = false;
    return alternation(0, false, groupInQuantifier);
  }

  std::u16string subject() {
    static constexpr std::u16string_view kUnits = u"aAabB\nb\r-";
    std::u16string s(pick(9), u' ');
    for (char16_t& u : s) u = kUnits[pick(kUnits.size())];
    return s;
  }

 private:
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

  std::u16string alternation(int depth, bool quantified, bool& groupInQuantifier) {
    std::u16string out = sequence(depth, quantified, groupInQuantifier);
    while (pick(4) == 0) out += u"|" + sequence(depth, quantified, groupInQuantifier);
    return out;
  }

  std::u16string sequence(int depth, bool quantified, bool& groupInQuantifier) {
    std::u16string out;
    const std::size_t items = 1 + pick(3);
    for (std::size_t k = 0; k < items; ++k) {
      bool nonEmpty = false;
      const bool willQuantify = pick(3) == 0;
      std::u16string a = atom(depth, quantified || willQuantify, groupInQuantifier, nonEmpty);
      if (willQuantify && nonEmpty) {
        static constexpr const char16_t* kQuantifiers[] = {u"*", u"+", u"?", u"{1,2}", u"*?", u"+?", u"??", u"{2}"};
        a += kQuantifiers[pick(8)];
      }
      out += a;
    }
    return out;
  }

  std::u16string atom(int depth, bool quantified, bool& groupInQuantifier, bool& nonEmpty) {
    nonEmpty = true;
    switch (pick(depth < 3 ? 10 : 7)) {
      case 0: return u"a";
      case 1: return u"b";
      case 2: return u".";
      case 3: return u"[ab]";
      case 4: return u"[^a]";
      case 5: {
        static constexpr const char16_t* kAssertions[] = {u"^", u"$", u"\\b", u"\\B"};
        nonEmpty = false;
        return kAssertions[pick(4)];
      }
      case 6: return u"\\w";
      default: {
        const bool capture = pick(2) == 0;
        if (capture && quantified) groupInQuantifier = true;
        std::u16string inner = u"a" + alternation(depth + 1, quantified, groupInQuantifier);
        return (capture ? u"(" : u"(?:") + inner + u")";
      }
    }
  }

  std::mt19937 random_;
};

// The matches by std::wregex in the same notation, searching again from the
// end of each match, one unit further after an empty one.
std::string describeByStd(const std::u16string& pattern, const std::u16string& subject, RegexFlags options,
                          bool compareGroups) {
  auto flags = std::regex_constants::ECMAScript;
  if (options.multiline) flags |= std::regex_constants::multiline;
  if (options.ignoreCase) flags |= std::regex_constants::icase;
  const std::wregex regex(std::wstring(pattern.begin(), pattern.end()), flags);
  const std::wstring s(subject.begin(), subject.end());
  std::string out;
  std::size_t from = 0;
  while (from <= s.size()) {
    std::wsmatch m;
    const auto searchFlags = from > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
    if (!std::regex_search(s.cbegin() + static_cast<std::ptrdiff_t>(from), s.cend(), m, regex, searchFlags)) break;
    if (!out.empty()) out += "|";
    for (std::size_t g = 0; g < (compareGroups ? m.size() : 1); ++g) {
      if (g > 0) out += " ";
      if (!m[g].matched) {
        out += "-";
        continue;
      }
      out += std::to_string(m[g].first - s.cbegin()) + "-" + std::to_string(m[g].second - s.cbegin());
    }
    const auto start = static_cast<std::size_t>(m[0].first - s.cbegin());
    const auto end = static_cast<std::size_t>(m[0].second - s.cbegin());
    from = end == start ? end + 1 : end;
  }
  return out;
}

// describe() with only the whole-match spans kept.
std::string wholeMatchesOnly(const std::string& described) {
  std::string out;
  std::size_t at = 0;
  while (at < described.size()) {
    std::size_t bar = described.find('|', at);
    if (bar == std::string::npos) bar = described.size();
    const std::string match = described.substr(at, bar - at);
    if (!out.empty()) out += "|";
    out += match.substr(0, match.find(' '));
    at = bar + 1;
  }
  return out;
}

TEST(RegexEngine, AgreesWithABacktrackingEngine) {
  PatternMaker maker(20240611);
  int compared = 0;
  for (int round = 0; round < 3000; ++round) {
    bool groupInQuantifier = false;
    const std::u16string pattern = maker.pattern(groupInQuantifier);
    const RegexFlags flags{.ignoreCase = round % 4 >= 2, .multiline = round % 2 == 0};
    for (int k = 0; k < 4; ++k) {
      const std::u16string subject = maker.subject();
      std::string expected;
      try {
        expected = describeByStd(pattern, subject, flags, !groupInQuantifier);
      } catch (const std::regex_error&) {
        continue;  // not a pattern of the dialect
      }
      std::string ours = describe(pattern, subject, flags);
      if (groupInQuantifier) ours = wholeMatchesOnly(ours);
      ASSERT_EQ(ours, expected) << "pattern " << std::string(pattern.begin(), pattern.end()) << " subject "
                                << ::testing::PrintToString(std::string(subject.begin(), subject.end()))
                                << (flags.multiline ? " multiline" : "") << (flags.ignoreCase ? " ignoring case" : "");
      ++compared;
    }
  }
  EXPECT_GT(compared, 10000);
}

TEST(RegexEngine, NeverThrowsOnArbitraryPatterns) {
  // Every pattern over a small alphabet of meaningful units, up to length 4:
  // compiling and searching either works or refuses, and never crashes.
  const std::u16string alphabet = u"a()[]{}|*+?^$\\.-,1";
  const std::u16string subject = u"a(b)[c]{1,2}|*+?^$\\.-\n\r";
  std::vector<std::int32_t> offsets;
  std::u16string pattern;
  std::size_t compiled = 0;
  for (std::size_t length = 1; length <= 4; ++length) {
    std::vector<std::size_t> digits(length, 0);
    for (;;) {
      pattern.clear();
      for (std::size_t d : digits) pattern += alphabet[d];
      if (const auto regex = Regex::compile(pattern, {.ignoreCase = true, .multiline = true})) {
        offsets.clear();
        EXPECT_EQ(regex->findMatches(subject, true, offsets), RegexResult::kDone);
        ++compiled;
      }
      std::size_t k = 0;
      while (k < length && ++digits[k] == alphabet.size()) digits[k++] = 0;
      if (k == length) break;
    }
  }
  EXPECT_GT(compiled, 1000u);
}

}  // namespace
}  // namespace varnelo
