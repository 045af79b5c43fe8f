#include "text/regex_object.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page_conversion.h"
#include "text/code_page.h"
#include "text/regex_engine.h"
#include "text/text_ops.h"

namespace varnelo {

namespace {

// The engine works on UTF-16 units (never combining a surrogate pair), so
// every offset it reports counts UTF-16 units, as the positions of this
// object do.
using Units = std::u16string;

// `text` (up to its first NUL) decoded from code page 936.
Units decodeText(const Text& text) {
  Units wide;
  platform::multiByteToWide(kCodePageGbk, std::string_view(text).substr(0, text.find('\0')), wide);
  return wide;
}

// `units` encoded into code page 936.
Text encodeUnits(std::u16string_view units) {
  Text text;
  platform::wideToMultiByte(kCodePageGbk, units, text);
  return text;
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

  Text subject;  // as searched: up to its first NUL
  Units subjectUnits;

  // The match collection, as the engine gives it: per match the start and
  // end of the whole match, then of each group (-1 for a group that took no
  // part).
  bool hasMatches = false;
  std::size_t groupCount = 0;
  std::vector<std::int32_t> offsets;

  std::size_t matchCountValue() const { return hasMatches ? offsets.size() / (2 * (groupCount + 1)) : 0; }

  // The span of group `group` (0: the whole match) of 1-based match `match`;
  // nullopt when there is no such match or group.
  std::optional<Span> span(int match, int group) const {
    if (match < 1 || static_cast<std::size_t>(match) > matchCountValue()) return std::nullopt;
    if (group < 0 || static_cast<std::size_t>(group) > groupCount) return std::nullopt;
    const std::size_t at =
        2 * ((static_cast<std::size_t>(match) - 1) * (groupCount + 1) + static_cast<std::size_t>(group));
    Span result;
    if (offsets[at] >= 0) {
      result.offset = offsets[at];
      result.length = offsets[at + 1] - offsets[at];
    }
    return result;
  }

  Text textOfSpan(const std::optional<Span>& s) const {
    if (!s || s->offset < 0) return Text();
    return encodeUnits(std::u16string_view(subjectUnits).substr(static_cast<std::size_t>(s->offset),
                                                         static_cast<std::size_t>(s->length)));
  }

  // The 0-based byte offset of `found` in the subject, searched from the
  // 1-based byte position equal to the unit offset of match `match`; -2 when
  // it is not there. The unit offset is not a byte offset once two-byte
  // characters precede the match, so this can report an earlier equal text:
  // callers of the original object saw the same.
  Pos lookUpPosition(const Text& found, int match) const {
    const std::optional<Span> whole = span(match, 0);
    const Pos start = whole ? static_cast<Pos>(whole->offset) : 0;
    const Pos position = textFind(subject, found, start, hasComponent && ignoreCase);
    return position > 0 ? position - 1 : -2;
  }

  // Collects the matches of `expression` in the subject: all of them, or
  // the first only when global is off. False when the engine gave up.
  bool collectMatches(const Regex& expression) {
    groupCount = expression.groupCount();
    return expression.findMatches(subjectUnits, global, offsets) == RegexResult::kDone;
  }

  // The replacement text for match `match` (1-based): "$$", "$&", "$`",
  // "$'" and "$1" to "$99" as in ECMAScript; any other "$" stands for itself.
  void appendReplacement(Units& out, const Units& replacement, int match) const {
    const Span whole = *span(match, 0);
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char16_t c = replacement[i];
      if (c != u'$' || i + 1 == replacement.size()) {
        out.push_back(c);
        continue;
      }
      const char16_t next = replacement[i + 1];
      auto digit = [](char16_t d) { return d >= u'0' && d <= u'9' ? static_cast<int>(d - u'0') : -1; };
      if (next == u'$') {
        out.push_back(u'$');
        ++i;
      } else if (next == u'&') {
        out.append(subjectUnits, static_cast<std::size_t>(whole.offset), static_cast<std::size_t>(whole.length));
        ++i;
      } else if (next == u'`') {
        out.append(subjectUnits, 0, static_cast<std::size_t>(whole.offset));
        ++i;
      } else if (next == u'\'') {
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
        const Span captured = *span(match, group);
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

    std::optional<Regex> expression =
        Regex::compile(s.pattern, RegexFlags{.ignoreCase = s.ignoreCase, .multiline = s.multiline});
    if (!expression) return false;  // malformed pattern: no match collection
    if (!s.collectMatches(*expression)) {
      // The engine gave up on the search: no collection, as when the
      // component fails.
      s.offsets.clear();
      return false;
    }
    s.hasMatches = true;
    return true;
  } catch (...) {
    // Out of memory or an engine failure during the search: no collection.
    state_->hasMatches = false;
    state_->offsets.clear();
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
      const Span whole = *s.span(match, 0);
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
    const std::optional<Span> group =
        groupNumber >= 1 ? state_->span(matchNumber, groupNumber) : std::nullopt;
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
