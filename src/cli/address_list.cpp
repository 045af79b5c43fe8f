#include "cli/address_list.h"

#include <string.h>

#include "platform/files.h"
#include "text/code_page.h"

namespace varnelo::cli {

bool readListSource(const std::string& path, std::string* content, std::string* error) {
  if (path == "-") {
    const int failure = platform::readStandardInput(*content);
    if (failure != 0) *error = std::string("cannot read standard input: ") + strerror(failure);
    return failure == 0;
  }
  const int failure = platform::readWholeFile(path, *content);
  if (failure != 0) {
    *error = "cannot read list file '" + path + "': " + strerror(failure);
    return false;
  }
  return true;
}

int firstInvalidUtf8Line(const std::string& bytes) {
  int line = 1;
  const size_t size = bytes.size();
  for (size_t i = 0; i < size;) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead == '\n') ++line;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return line;
    }
    if (i + length > size) return line;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      const unsigned char min = (k == 1) ? low : 0x80;
      const unsigned char max = (k == 1) ? high : 0xBF;
      if (next < min || next > max) return line;
    }
    i += length;
  }
  return 0;
}

std::string withCrLfBreaks(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  size_t i = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      result += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      result += "\r\n";
    } else if (c != '\0') {
      result += c;
    }
  }
  return result;
}

Text addressBoxText(const std::string& list) {
  const std::string pasted = withCrLfBreaks(list);
  if (pasted.empty()) return Text();
  // CR and LF cannot be part of a two-byte character in either code page, so
  // the breaks survive the conversion unchanged.
  return fromUtf16Bytes(decodeToUtf16(pasted, kCodePageUtf8));
}

}  // namespace varnelo::cli
