#include "text/code_page.h"

#include <string>
#include <string_view>

#include "platform/code_page_conversion.h"

namespace varnelo {

namespace {

// `text` up to, not including, its first NUL: a Text ends there.
std::string_view upToNul(const Text& text) {
  std::string_view view(text);
  return view.substr(0, view.find('\0'));
}

// The UTF-16 units of `data` (low byte first; an odd last byte ignored) up
// to, not including, the first zero unit.
std::u16string unitsUpToZero(const Bytes& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  units.resize(std::u16string_view(units).find(u'\0') == std::u16string_view::npos
                   ? units.size()
                   : units.find(u'\0'));
  return units;
}

// `units` as UTF-16LE bytes followed by one zero unit.
Bytes terminatedBytes(const std::u16string& units) {
  Bytes bytes(2 * units.size() + 2, 0);
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return bytes;
}

}  // namespace

// The buffers of these conversions are sized on the platform by counting in
// the ANSI code page and filled in another; with the ANSI code page being 936
// the counts are exact, except where a target form needs more room than the
// count gives (a euro sign or a replaced sequence takes one byte in 936 and
// three in UTF-8). Our buffers grow as needed, so those texts come out whole
// instead of cut short or empty.

Bytes toUtf16Bytes(const Text& text) {
  if (text.empty()) return Bytes();
  return decodeToUtf16(text, kCodePageGbk);
}

Text fromUtf16Bytes(const Bytes& data) {
  Text text;
  platform::wideToMultiByte(kCodePageGbk, unitsUpToZero(data), text, /*compositeCheck=*/true);
  return text;
}

Bytes decodeToUtf16(const Text& text, int codePage) {
  std::u16string units;
  platform::multiByteToWide(codePage, upToNul(text), units);
  return terminatedBytes(units);
}

Text encodeFromUtf16(const Bytes& data, int codePage) {
  Text text;
  platform::wideToMultiByte(codePage, unitsUpToZero(data), text);
  // A Text holds no NUL; only the UTF-16 and UTF-32 forms could produce one.
  text.resize(std::string_view(text).find('\0') == std::string_view::npos ? text.size()
                                                                          : text.find('\0'));
  return text;
}

Text gbkToUtf8(const Text& text) {
  return encodeFromUtf16(decodeToUtf16(text, kCodePageGbk), kCodePageUtf8);
}

}  // namespace varnelo
