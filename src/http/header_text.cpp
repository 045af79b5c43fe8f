#include "http/header_text.h"

#include <cstddef>

#include "text/text_ops.h"

namespace varnelo {

namespace {

const Text kLineBreak = "\r\n";

// `byte` upper-cased when it is a-z, else unchanged.
char upperAscii(char byte) {
  return (byte >= 'a' && byte <= 'z') ? static_cast<char>(byte - 32) : byte;
}

// `name` with its first byte and every byte right after a "-" upper-cased
// when they are a-z. Walks whole characters, so a "-" is only seen where it
// stands as a character of its own; dashes stay where they are, leading,
// trailing and doubled ones included.
Text capitaliseNameSegments(const Text& name) {
  Text out(name);
  bool segmentStart = true;
  for (std::size_t i = 0; i < out.size();) {
    const bool twoByte = isLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size();
    if (segmentStart && !twoByte) out[i] = upperAscii(out[i]);
    segmentStart = !twoByte && out[i] == '-';
    i += twoByte ? 2 : 1;
  }
  return out;
}

}  // namespace

Text capitaliseFirst(const Text& text) {
  if (text.empty()) return Text();
  Text out(text);
  out[0] = upperAscii(out[0]);
  return out;
}

Text normaliseHeaderNames(const Text& block) {
  Text out;
  bool first = true;
  for (const Text& line : textSplit(block, kLineBreak)) {
    const Pos colon = textFind(line, ":");
    if (colon < 1) continue;
    const std::size_t nameLength = static_cast<std::size_t>(colon - 1);
    if (!first) out += kLineBreak;
    first = false;
    out += capitaliseNameSegments(line.substr(0, nameLength));
    out.append(line, nameLength, Text::npos);
  }
  return out;
}

Text textLeftOf(const Text& text, const Text& marker) {
  const Pos found = textFind(text, marker);
  if (found < 1) return Text();
  return textLeft(text, found - 1);
}

Text textRightOf(const Text& text, const Text& marker) {
  // An empty marker "occurs" at the very end, so nothing lies after it.
  if (marker.empty()) return Text();
  const Pos found = textFindLast(text, marker);
  if (found < 1) return Text();
  return text.substr(static_cast<std::size_t>(found - 1) + marker.size());
}

}  // namespace varnelo
