#include "platform/charset_decoder.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

namespace varnelo::platform {

namespace {

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
// One conversion descriptor; each call opens its own, so nothing is shared
// between threads.
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// A descriptor converting from `from` to `to`, or null when iconv lacks one.
IconvHandle openIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) return nullptr;
  return IconvHandle(cd);
}

// iconv's own wide form, UCS-4 in this machine's byte order: converting to
// and from it is a single step, so a bad sequence never makes iconv redo a
// chain of steps.
constexpr const char* kUnits = "WCHAR_T";
constexpr std::size_t kUnitSize = sizeof(wchar_t);
static_assert(kUnitSize == 4);
constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";
constexpr std::size_t kLongestName = 40;
constexpr std::size_t kChunk = 16384;
constexpr std::size_t kInputWindow = 1024;

struct Alias {
  std::string_view label;
  const char* iconvName;
};

// Labels that pages use, in lower case, and the iconv converter that reads
// them. Where a label has a common superset (the Windows code pages behind
// Shift_JIS, EUC-KR and Big5), the superset reads it, as browsers do;
// ISO-8859-1 and ASCII read as Windows-1252 for the same reason.
constexpr Alias kAliases[] = {
    {"utf-8", kUtf8},           {"utf8", kUtf8},
    {"unicode-1-1-utf-8", kUtf8}, {"x-unicode20utf8", kUtf8},
    {"gbk", kGbk},              {"gb2312", kGbk},
    {"gb_2312", kGbk},          {"gb_2312-80", kGbk},
    {"csgb2312", kGbk},         {"cp936", kGbk},
    {"ms936", kGbk},            {"windows-936", kGbk},
    {"x-gbk", kGbk},            {"chinese", kGbk},
    {"gb18030", "GB18030"},     {"big5", "CP950"},
    {"cn-big5", "CP950"},       {"x-x-big5", "CP950"},
    {"csbig5", "CP950"},        {"cp950", "CP950"},
    {"big5-hkscs", "BIG5-HKSCS"}, {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},     {"sjis", "CP932"},
    {"x-sjis", "CP932"},        {"ms_kanji", "CP932"},
    {"csshiftjis", "CP932"},    {"windows-31j", "CP932"},
    {"cp932", "CP932"},         {"ms932", "CP932"},
    {"euc-jp", "EUC-JP-MS"},    {"x-euc-jp", "EUC-JP-MS"},
    {"euc-kr", "CP949"},        {"ks_c_5601-1987", "CP949"},
    {"ksc5601", "CP949"},       {"korean", "CP949"},
    {"cp949", "CP949"},         {"windows-949", "CP949"},
    {"iso-2022-jp", "ISO-2022-JP"}, {"iso-8859-1", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"}, {"iso_8859-1", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"}, {"l1", "WINDOWS-1252"},
    {"us-ascii", "WINDOWS-1252"}, {"ascii", "WINDOWS-1252"},
    {"windows-1252", "WINDOWS-1252"}, {"cp1252", "WINDOWS-1252"},
    {"x-cp1252", "WINDOWS-1252"},
};

// Wide encodings. A declaration that was readable byte by byte cannot stand
// in a page written in one of them, so the page reads as UTF-8.
constexpr std::string_view kWidePrefixes[] = {"utf-16", "utf16", "utf-32", "utf32",
                                              "ucs-2",  "ucs2",  "ucs-4",  "ucs4"};
constexpr std::string_view kWideNames[] = {"unicode", "unicodefffe", "iso-10646-ucs-2"};

// Encodings that iconv knows but that turn ordinary markup into something
// else ("+" opens an escape in UTF-7); such a page keeps its bytes.
constexpr std::string_view kRefused[] = {"utf-7", "utf7", "unicode-1-1-utf-7", "csunicode11utf7"};

bool isNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

template <typename List>
bool contains(const List& list, std::string_view name) {
  for (std::string_view entry : list) {
    if (entry == name) return true;
  }
  return false;
}

// The iconv name that reads `charsetName`, or empty when none does. Only
// names made of letters, digits, "-" and "_" are handed to iconv, so no
// "//" suffix can switch on its transliteration or skipping.
std::string iconvNameOf(std::string_view charsetName) {
  const std::string name = asciiLower(charsetName);
  if (name.empty() || name.size() > kLongestName) return std::string();
  for (char c : name) {
    if (!isNameByte(c)) return std::string();
  }
  for (std::string_view prefix : kWidePrefixes) {
    if (name.starts_with(prefix)) return kUtf8;
  }
  if (contains(kWideNames, name)) return kUtf8;
  if (contains(kRefused, name)) return std::string();
  for (const Alias& alias : kAliases) {
    if (alias.label == name) return alias.iconvName;
  }
  std::string upper = asciiUpper(name);
  if (!openIconv(kUnits, upper.c_str())) return std::string();
  return upper;
}

// Appends the wide `units` to `out` in code page 936, one "?" for each
// character that 936 cannot hold.
void appendAsGbk(iconv_t toGbk, char* units, std::size_t length, Bytes& out) {
  char buffer[kChunk];
  while (length > 0) {
    char* next = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t result = iconv(toGbk, &units, &length, &next, &room);
    const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    out.insert(out.end(), buffer, next);
    if (error == EILSEQ || error == EINVAL) {
      out.push_back('?');
      const std::size_t skip = length < kUnitSize ? length : kUnitSize;
      units += skip;
      length -= skip;
    } else if (error != 0 && error != E2BIG) {
      return;
    }
  }
}

}  // namespace

bool isKnownCharset(std::string_view charsetName) { return !iconvNameOf(charsetName).empty(); }

std::optional<Bytes> decodeCharsetToGbk(const Bytes& body, std::string_view charsetName) {
  const std::string source = iconvNameOf(charsetName);
  if (source.empty()) return std::nullopt;
  IconvHandle toUnits = openIconv(kUnits, source.c_str());
  IconvHandle toGbk = openIconv(kGbk, kUnits);
  if (!toUnits || !toGbk) return std::nullopt;

  // iconv's signature wants a mutable input pointer; it never writes through it.
  char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(body.data()));
  std::size_t left = body.size();
  if (source == kUtf8 && left >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF) {
    in += 3;
    left -= 3;
  }

  Bytes out;
  out.reserve(body.size());
  char units[4 * kInputWindow];
  while (left > 0) {
    // A bounded window per call keeps each call's cost independent of the
    // body's size, also when many bad bytes make for many calls.
    const std::size_t window = left < kInputWindow ? left : kInputWindow;
    std::size_t windowLeft = window;
    char* next = units;
    std::size_t room = sizeof units;
    const std::size_t result = iconv(toUnits.get(), &in, &windowLeft, &next, &room);
    const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    const bool reachesEnd = window == left;
    const bool progressed = windowLeft < window;
    left -= window - windowLeft;
    appendAsGbk(toGbk.get(), units, static_cast<std::size_t>(next - units), out);
    if (error == EINVAL && reachesEnd) {
      out.push_back('?');  // a character cut short by the end of the body
      break;
    }
    if (error == EILSEQ || (error == EINVAL && !progressed)) {
      out.push_back('?');  // a byte that starts no character: skip just it
      ++in;
      --left;
    } else if (error != 0 && error != E2BIG && error != EINVAL) {
      break;
    }
  }
  // Stateful encodings (ISO-2022-JP) may owe a last character at the end.
  char* next = units;
  std::size_t room = sizeof units;
  iconv(toUnits.get(), nullptr, nullptr, &next, &room);
  appendAsGbk(toGbk.get(), units, static_cast<std::size_t>(next - units), out);
  return out;
}

}  // namespace varnelo::platform
