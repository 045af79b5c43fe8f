#include "text/text_between.h"

#include "text/text_ops.h"

namespace varnelo {

Text textBetween(const Text& text, const Text& leftMarker, const Text& rightMarker, Pos start,
                 bool ignoreCase) {
  const Text left = textReplace(leftMarker, kQuoteMarker, "\"");
  const Text right = textReplace(rightMarker, kQuoteMarker, "\"");
  if (right.empty()) return Text();

  // An empty left marker is found where the search starts (byte 1 unless a
  // later start is given), provided there is text there.
  const Pos from = start < 1 ? 1 : start;
  Pos found;
  if (left.empty()) {
    found = from <= static_cast<Pos>(text.size()) ? from : -1;
  } else {
    found = textFind(text, left, from, ignoreCase);
  }
  if (found < 1) return Text();

  const Pos inner = found + static_cast<Pos>(left.size());
  const Pos end = textFind(text, right, inner, ignoreCase);
  // A search from beyond the text finds nothing, so a left marker that ends
  // the text gives empty text.
  if (end < inner) return Text();
  return text.substr(static_cast<std::size_t>(inner - 1), static_cast<std::size_t>(end - inner));
}

}  // namespace varnelo
