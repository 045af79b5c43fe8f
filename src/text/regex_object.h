// Regular-expression search and replace over Text, keeping the result of the
// last search for later queries. One object per task; never shared between
// threads.
#pragma once

#include <memory>

#include "text/types.h"

namespace varnelo {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Compiles `pattern` and collects the matches in `subject`. True when a
  // match collection was produced (also an empty one); false for a malformed
  // pattern (also one the engine refuses: see text/regex_engine.h) and for a
  // search that gave up on its step budget, after which every query gives
  // its empty result.
  bool execute(const Text& pattern, const Text& subject, bool caseSensitive = false,
               bool multiline = true, bool global = true, bool quoteEscape = false);

  // The pattern as last set (after the quote escape); empty before execute.
  Text pattern() const;

  // The subject of the last execute with its matches replaced by
  // `replacement`; empty when there is no usable expression.
  Text replace(const Text& replacement);

  // Number of matches of the last execute; 0 when there is none.
  int matchCount() const;

  // Text of match `matchNumber` (from 1); empty when there is no such match.
  // When `position` is given it receives the 0-based byte offset of the text
  // in the subject, or -2.
  Text matchText(int matchNumber, Pos* position = nullptr) const;

  // Text captured by group `groupNumber` (from 1) of match `matchNumber`.
  Text subMatchText(int matchNumber, int groupNumber, Pos* position = nullptr) const;

  // Number of capture groups in match 1; 0 when there is no match.
  int subMatchCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace varnelo
