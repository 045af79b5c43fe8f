#include "gui/box_text.h"

#include <string>

#include "text/code_page.h"

namespace varnelo::gui {

namespace {

// `s` as UTF-16LE bytes, without a terminating zero unit.
Bytes utf16LeBytesOf(const QString& s) {
  Bytes bytes;
  bytes.reserve(static_cast<std::size_t>(s.size()) * 2);
  for (QChar c : s) {
    const char16_t unit = c.unicode();
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// UTF-16LE `bytes` up to the first zero unit (an odd last byte ignored).
QString stringOfUtf16LeBytes(const Bytes& bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return QString::fromStdU16String(units);
}

// `s` with CR LF and bare CR turned into LF.
QString withLfBreaks(QString s) {
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

}  // namespace

QString boxTextFromText(const Text& text) {
  if (text.empty()) return {};
  return withLfBreaks(stringOfUtf16LeBytes(toUtf16Bytes(text)));
}

Text textFromBoxText(const QString& shown) {
  if (shown.isEmpty()) return {};
  QString crlf = withLfBreaks(shown);
  crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return fromUtf16Bytes(utf16LeBytesOf(crlf));
}

}  // namespace varnelo::gui
