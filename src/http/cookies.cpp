#include "http/cookies.h"

#include <unordered_set>
#include <vector>

#include "text/text_ops.h"

namespace varnelo {

namespace {

const Text kItemSeparator = "; ";
const Text kDeletionSuffix = "=deleted";

// `text` trimmed, with one space appended when it then ends in ";", so that
// a final ";" reads as a separator and adds no item.
Text trimCookieString(const Text& text) {
  Text out = textTrim(text);
  if (!out.empty() && out.back() == ';') out += ' ';
  return out;
}

// True when the last eight bytes of `item` are exactly "=deleted".
bool isDeletion(const Text& item) {
  return textRight(item, static_cast<Pos>(kDeletionSuffix.size())) == kDeletionSuffix;
}

// `items` joined with `separator` between them; empty for no items.
Text joinItems(const std::vector<Text>& items, const Text& separator) {
  Text out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += separator;
    out += items[i];
  }
  return out;
}

}  // namespace

Text cookieName(const Text& item) {
  const Pos equals = textFind(item, "=");
  return textTrim(equals < 1 ? item : textLeft(item, equals - 1));
}

Text removeDuplicateItems(const Text& text, const Text& separator) {
  std::vector<Text> kept;
  std::unordered_set<Text> seen;
  for (Text& item : textSplit(text, separator)) {
    if (seen.insert(item).second) kept.push_back(std::move(item));
  }
  return joinItems(kept, separator);
}

Text mergeCookies(Text& oldCookies, Text& newCookies) {
  oldCookies = trimCookieString(oldCookies);
  newCookies = trimCookieString(newCookies);

  std::vector<Text> items = textSplit(newCookies, kItemSeparator);
  // The names in `items` as it grows: of two old items with one name only the
  // first is carried over.
  std::unordered_set<Text> names;
  for (const Text& item : items) names.insert(cookieName(item));
  for (const Text& item : textSplit(oldCookies, kItemSeparator)) {
    if (names.insert(cookieName(item)).second) items.push_back(item);
  }

  std::vector<Text> live;
  for (Text& item : items) {
    if (!isDeletion(item)) live.push_back(std::move(item));
  }
  Text merged = removeDuplicateItems(joinItems(live, kItemSeparator), kItemSeparator);
  oldCookies = merged;
  return merged;
}

}  // namespace varnelo
