#include "text/regex_object.h"

#include <clocale>
#include <cwctype>
#include <locale>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page_conversion.h"
#include "text/code_page.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

// The engine works on wchar_t, one per UTF-16 unit (never combining a
// surrogate pair), so that every offset it reports counts UTF-16 units, as
// the positions of this object do.
using Units = std::wstring;

// `text` (up to its first NUL) decoded from code page 936.
Units decodeText(const Text& text) {
  std::u16string wide;
  platform::multiByteToWide(kCodePageGbk, std::string_view(text).substr(0, text.find('\0')), wide);
  return Units(wide.begin(), wide.end());
}

// `units` encoded into code page 936.
Text encodeUnits(std::wstring_view units) {
  std::u16string wide(units.size(), u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) wide[i] = static_cast<char16_t>(units[i]);
  Text text;
  platform::wideToMultiByte(kCodePageGbk, wide, text);
  return text;
}

// A locale_t whose case mapping covers all of Unicode; null when the system
// has none, and then only ASCII letters change case.
locale_t unicodeCaseLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// Character classes as in the "C" locale (so "\w" is exactly A-Z, a-z, 0-9
// and "_", "\d" is 0-9, and Chinese characters are none of them), but letters
// of every script match their other case when case is ignored.
class DialectCtype final : public std::ctype<wchar_t> {
 public:
  DialectCtype() : std::ctype<wchar_t>(std::size_t{0}), caseLocale_(unicodeCaseLocale()) {}

 protected:
  char_type do_toupper(char_type c) const override {
    if (caseLocale_ != nullptr) return static_cast<char_type>(towupper_l(static_cast<wint_t>(c), caseLocale_));
    return (c >= L'a' && c <= L'z') ? static_cast<char_type>(c - 32) : c;
  }
  const char_type* do_toupper(char_type* low, const char_type* high) const override {
    for (; low < high; ++low) *low = do_toupper(*low);
    return high;
  }
  char_type do_tolower(char_type c) const override {
    if (caseLocale_ != nullptr) return static_cast<char_type>(towlower_l(static_cast<wint_t>(c), caseLocale_));
    return (c >= L'A' && c <= L'Z') ? static_cast<char_type>(c + 32) : c;
  }
  const char_type* do_tolower(char_type* low, const char_type* high) const override {
    for (; low < high; ++low) *low = do_tolower(*low);
    return high;
  }

 private:
  locale_t caseLocale_;
};

// The locale every expression is compiled with, whatever the program's
// global locale is.
const std::locale& dialectLocale() {
  static const std::locale locale(std::locale::classic(), new DialectCtype);
  return locale;
}

// Where a match or a group lies in the subject, in UTF-16 units; an offset of
// -1 marks a group that took no part in its match.
struct Span {
  std::ptrdiff_t offset = -1;
  std::ptrdiff_t length = 0;
};

}  // namespace

struct RegexObject::State {
  // The component's settings and pattern; `hasComponent` is false until the
  // first execute.
  bool hasComponent = false;
  bool ignoreCase = false;
  bool multiline = true;
  bool global = true;
  Units pattern;
  std::optional<std::wregex> expression;  // absent when the pattern is malformed

  Text subject;  // as searched: up to its first NUL
  Units subjectUnits;

  // The match collection: per match its whole span, then one per group.
  bool hasMatches = false;
  std::size_t groupCount = 0;
  std::vector<Span> spans;

  std::size_t matchCountValue() const { return hasMatches ? spans.size() / (groupCount + 1) : 0; }

  // The span of group `group` (0: the whole match) of 1-based match `match`;
  // null when there is no such match or group.
  const Span* span(int match, int group) const {
    if (match < 1 || static_cast<std::size_t>(match) > matchCountValue()) return nullptr;
    if (group < 0 || static_cast<std::size_t>(group) > groupCount) return nullptr;
    return &spans[(static_cast<std::size_t>(match) - 1) * (groupCount + 1) + static_cast<std::size_t>(group)];
  }

  Text textOfSpan(const Span* s) const {
    if (s == nullptr || s->offset < 0) return Text();
    return encodeUnits(std::wstring_view(subjectUnits).substr(static_cast<std::size_t>(s->offset),
                                                         static_cast<std::size_t>(s->length)));
  }

  // The 0-based byte offset of `found` in the subject, searched from the
  // 1-based byte position equal to the unit offset of match `match`; -2 when
  // it is not there. The unit offset is not a byte offset once two-byte
  // characters precede the match, so this can report an earlier equal text:
  // callers of the original object saw the same.
  Pos lookUpPosition(const Text& found, int match) const {
    const Span* whole = span(match, 0);
    const Pos start = whole != nullptr ? static_cast<Pos>(whole->offset) : 0;
    const Pos position = textFind(subject, found, start, hasComponent && ignoreCase);
    return position > 0 ? position - 1 : -2;
  }

  // Collects the matches of `expression` in the subject: all of them, or
  // the first only when global is off.
  void collectMatches() {
    groupCount = expression->mark_count();
    const Units& s = subjectUnits;
    auto record = [&](const std::wsmatch& match) {
      for (std::size_t g = 0; g <= groupCount; ++g) {
        Span span;
        if (match[g].matched) {
          span.offset = match[g].first - s.begin();
          span.length = match[g].second - match[g].first;
        }
        spans.push_back(span);
      }
    };
    if (global) {
      for (std::wsregex_iterator it(s.begin(), s.end(), *expression), end; it != end; ++it) record(*it);
    } else {
      std::wsmatch match;
      if (std::regex_search(s, match, *expression)) record(match);
    }
  }

  // The replacement text for match `match` (1-based): "$$", "$&", "$`",
  // "$'" and "$1" to "$99" as in ECMAScript; any other "$" stands for itself.
  void appendReplacement(Units& out, const Units& replacement, int match) const {
    const Span& whole = *span(match, 0);
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const wchar_t c = replacement[i];
      if (c != L'$' || i + 1 == replacement.size()) {
        out.push_back(c);
        continue;
      }
      const wchar_t next = replacement[i + 1];
      auto digit = [](wchar_t d) { return d >= L'0' && d <= L'9' ? static_cast<int>(d - L'0') : -1; };
      if (next == L'$') {
        out.push_back(L'$');
        ++i;
      } else if (next == L'&') {
        out.append(subjectUnits, static_cast<std::size_t>(whole.offset), static_cast<std::size_t>(whole.length));
        ++i;
      } else if (next == L'`') {
        out.append(subjectUnits, 0, static_cast<std::size_t>(whole.offset));
        ++i;
      } else if (next == L'\'') {
        out.append(subjectUnits, static_cast<std::size_t>(whole.offset + whole.length));
        ++i;
      } else if (digit(next) >= 0) {
        int group = digit(next);
        std::size_t used = 1;
        if (i + 2 < replacement.size() && digit(replacement[i + 2]) >= 0) {
          const int twoDigits = group * 10 + digit(replacement[i + 2]);
          if (twoDigits >= 1 && static_cast<std::size_t>(twoDigits) <= groupCount) {
            group = twoDigits;
            used = 2;
          }
        }
        if (group < 1 || static_cast<std::size_t>(group) > groupCount) {
          out.push_back(c);
          continue;
        }
        const Span& captured = *span(match, group);
        if (captured.offset >= 0) {
          out.append(subjectUnits, static_cast<std::size_t>(captured.offset), static_cast<std::size_t>(captured.length));
        }
        i += used;
      } else {
        out.push_back(c);
      }
    }
  }
};

RegexObject::RegexObject() : state_(std::make_unique<State>()) {}

RegexObject::~RegexObject() = default;

bool RegexObject::execute(const Text& pattern, const Text& subject, bool caseSensitive,
                          bool multiline, bool global, bool quoteEscape) {
  try {
    State& s = *state_;
    s = State();
    s.hasComponent = true;
    s.ignoreCase = !caseSensitive;
    s.multiline = multiline;
    s.global = global;
    s.pattern = decodeText(quoteEscape ? textReplace(pattern, kQuoteMarker, "\"") : pattern);
    s.subject = subject.substr(0, subject.find('\0'));
    s.subjectUnits = decodeText(s.subject);

    auto flags = std::regex_constants::ECMAScript;
    if (s.ignoreCase) flags |= std::regex_constants::icase;
    if (s.multiline) flags |= std::regex_constants::multiline;
    std::wregex expression;
    expression.imbue(dialectLocale());
    try {
      expression.assign(s.pattern, flags);
    } catch (const std::regex_error&) {
      return false;  // malformed pattern: no match collection
    }
    s.expression = std::move(expression);
    s.collectMatches();
    s.hasMatches = true;
    return true;
  } catch (...) {
    // Out of memory or an engine failure during the search: no collection.
    state_->hasMatches = false;
    state_->spans.clear();
    return false;
  }
}

Text RegexObject::pattern() const {
  if (!state_->hasComponent) return Text();
  try {
    return encodeUnits(state_->pattern);
  } catch (...) {
    return Text();
  }
}

Text RegexObject::replace(const Text& replacement) {
  const State& s = *state_;
  if (!s.hasMatches) return Text();
  try {
    const Units with = decodeText(replacement);
    Units out;
    out.reserve(s.subjectUnits.size());
    std::size_t copied = 0;
    const int count = static_cast<int>(s.matchCountValue());
    for (int match = 1; match <= count; ++match) {
      const Span& whole = *s.span(match, 0);
      out.append(s.subjectUnits, copied, static_cast<std::size_t>(whole.offset) - copied);
      s.appendReplacement(out, with, match);
      copied = static_cast<std::size_t>(whole.offset + whole.length);
    }
    out.append(s.subjectUnits, copied);
    return encodeUnits(out);
  } catch (...) {
    return Text();
  }
}

int RegexObject::matchCount() const { return static_cast<int>(state_->matchCountValue()); }

Text RegexObject::matchText(int matchNumber, Pos* position) const {
  try {
    Text text = state_->textOfSpan(state_->span(matchNumber, 0));
    if (position != nullptr) *position = state_->lookUpPosition(text, matchNumber);
    return text;
  } catch (...) {
    return Text();
  }
}

Text RegexObject::subMatchText(int matchNumber, int groupNumber, Pos* position) const {
  try {
    const Span* group = groupNumber >= 1 ? state_->span(matchNumber, groupNumber) : nullptr;
    Text text = state_->textOfSpan(group);
    if (position != nullptr) *position = state_->lookUpPosition(text, matchNumber);
    return text;
  } catch (...) {
    return Text();
  }
}

int RegexObject::subMatchCount() const {
  return state_->matchCountValue() > 0 ? static_cast<int>(state_->groupCount) : 0;
}

}  // namespace varnelo
