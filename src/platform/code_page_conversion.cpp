#include "platform/code_page_conversion.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/code_page_composition.h"

namespace varnelo::platform {

namespace {

// ---------------------------------------------------------------------------
// iconv handles

struct IconvCloser {
  void operator()(void* converter) const { iconv_close(static_cast<iconv_t>(converter)); }
};
// Owns one iconv_t; a converter is used by one call on one thread only.
using Converter = std::unique_ptr<void, IconvCloser>;

// A converter from charset `from` to charset `to`; null when iconv lacks one.
Converter openConverter(const char* to, const char* from) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return Converter();
  return Converter(converter);
}

// A converter from `from` to `to` kept open for the calling thread, reset to
// its initial state; null when iconv lacks one. Opening a converter costs more
// than converting a short text, and callers convert many short texts. The
// converters close when the thread ends.
iconv_t threadConverter(const char* to, const char* from) {
  struct Entry {
    const char* to;
    const char* from;
    Converter converter;
  };
  thread_local std::vector<Entry> cache;
  for (Entry& entry : cache) {
    if (std::strcmp(entry.to, to) == 0 && std::strcmp(entry.from, from) == 0) {
      iconv(static_cast<iconv_t>(entry.converter.get()), nullptr, nullptr, nullptr, nullptr);
      return static_cast<iconv_t>(entry.converter.get());
    }
  }
  Converter converter = openConverter(to, from);
  if (!converter) return nullptr;
  cache.push_back(Entry{to, from, std::move(converter)});
  return static_cast<iconv_t>(cache.back().converter.get());
}

// iconv's own wide form: UCS-4 in the byte order of this machine. Converting
// to and from it takes one step in every direction, which matters: where
// iconv chains two steps, each sequence that does not convert makes it redo
// thousands of characters, and a text full of them converts in quadratic time.
constexpr const char* kWideCharset = "WCHAR_T";
static_assert(sizeof(wchar_t) == sizeof(char32_t));

// ---------------------------------------------------------------------------
// Code pages

enum class Family { singleByte, gbk, doubleByte, utf8, utf16, utf32, stateful };

struct CodePage {
  int number;
  const char* charset;  // iconv's name
  Family family;
};

constexpr CodePage kCodePages[] = {
    {37, "IBM037", Family::singleByte},       {437, "CP437", Family::singleByte},
    {500, "IBM500", Family::singleByte},      {850, "CP850", Family::singleByte},
    {866, "CP866", Family::singleByte},       {874, "CP874", Family::singleByte},
    {932, "CP932", Family::doubleByte},       {936, "GBK", Family::gbk},
    {949, "CP949", Family::doubleByte},       {950, "CP950", Family::doubleByte},
    {1200, "UTF-16LE", Family::utf16},        {1201, "UTF-16BE", Family::utf16},
    {1250, "CP1250", Family::singleByte},     {1251, "CP1251", Family::singleByte},
    {1252, "CP1252", Family::singleByte},     {1253, "CP1253", Family::singleByte},
    {1254, "CP1254", Family::singleByte},     {1255, "CP1255", Family::singleByte},
    {1256, "CP1256", Family::singleByte},     {1257, "CP1257", Family::singleByte},
    {1258, "CP1258", Family::singleByte},     {1361, "JOHAB", Family::doubleByte},
    {10000, "MACINTOSH", Family::singleByte}, {10007, "MAC-CYRILLIC", Family::singleByte},
    {12000, "UTF-32LE", Family::utf32},       {12001, "UTF-32BE", Family::utf32},
    {20127, "ASCII", Family::singleByte},     {20866, "KOI8-R", Family::singleByte},
    {20932, "EUC-JP", Family::doubleByte},    {20936, "GB2312", Family::doubleByte},
    {21866, "KOI8-U", Family::singleByte},    {28591, "ISO-8859-1", Family::singleByte},
    {28592, "ISO-8859-2", Family::singleByte}, {28593, "ISO-8859-3", Family::singleByte},
    {28594, "ISO-8859-4", Family::singleByte}, {28595, "ISO-8859-5", Family::singleByte},
    {28596, "ISO-8859-6", Family::singleByte}, {28597, "ISO-8859-7", Family::singleByte},
    {28598, "ISO-8859-8", Family::singleByte}, {28599, "ISO-8859-9", Family::singleByte},
    {28603, "ISO-8859-13", Family::singleByte}, {28605, "ISO-8859-15", Family::singleByte},
    {38598, "ISO-8859-8", Family::singleByte}, {50220, "ISO-2022-JP", Family::stateful},
    {50225, "ISO-2022-KR", Family::stateful}, {51932, "EUC-JP", Family::doubleByte},
    {51936, "EUC-CN", Family::doubleByte},    {51949, "EUC-KR", Family::doubleByte},
    {54936, "GB18030", Family::doubleByte},   {65000, "UTF-7", Family::stateful},
    {65001, "UTF-8", Family::utf8},
};

const CodePage* findCodePage(int number) {
  for (const CodePage& page : kCodePages) {
    if (page.number == number) return &page;
  }
  return nullptr;
}

bool isUnicodeForm(Family family) {
  return family == Family::utf8 || family == Family::utf16 || family == Family::utf32;
}

// ---------------------------------------------------------------------------
// The cells of code page 936 that GBK leaves empty. The platform maps every
// one of them to a private-use character: the three user-defined areas in
// blocks, the remaining 255 cells one after another from U+E766 in code order.

constexpr char16_t kUserAreaA = 0xE000;  // AAA1..AFFE, 6 x 94 cells
constexpr char16_t kUserAreaB = 0xE234;  // F8A1..FEFE, 7 x 94 cells
constexpr char16_t kUserAreaC = 0xE4C6;  // A140..A7A0, 7 x 96 cells
constexpr char16_t kSpareCells = 0xE766;
constexpr char16_t kLastPrivateUse = 0xE864;

struct CellRun {
  std::uint16_t first;  // lead byte << 8 | trail byte; one lead byte per run
  std::uint16_t last;
};

constexpr CellRun kSpareCellRuns[] = {
    {0xA2AB, 0xA2B0}, {0xA2E3, 0xA2E4}, {0xA2EF, 0xA2F0}, {0xA2FD, 0xA2FE}, {0xA4F4, 0xA4FE},
    {0xA5F7, 0xA5FE}, {0xA6B9, 0xA6C0}, {0xA6D9, 0xA6DF}, {0xA6EC, 0xA6ED}, {0xA6F3, 0xA6F3},
    {0xA6F6, 0xA6FE}, {0xA7C2, 0xA7D0}, {0xA7F2, 0xA7FE}, {0xA896, 0xA8A0}, {0xA8BC, 0xA8BC},
    {0xA8BF, 0xA8BF}, {0xA8C1, 0xA8C4}, {0xA8EA, 0xA8FE}, {0xA958, 0xA958}, {0xA95B, 0xA95B},
    {0xA95D, 0xA95F}, {0xA989, 0xA995}, {0xA997, 0xA9A3}, {0xA9F0, 0xA9FE}, {0xD7FA, 0xD7FE},
    {0xFE50, 0xFEA0},
};

bool isGbkLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool isGbkTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// Index of a trail byte among the 190 trail bytes 40..7E, 80..FE.
int trailIndex(unsigned char trail) { return trail - 0x40 - (trail > 0x7F ? 1 : 0); }
unsigned char trailAt(int index) { return static_cast<unsigned char>(0x40 + index + (index >= 0x3F ? 1 : 0)); }

// The private-use character of an empty GBK cell; 0 for any other pair.
char16_t privateUseOfCell(unsigned char lead, unsigned char trail) {
  if (!isGbkLead(lead) || !isGbkTrail(trail)) return 0;
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) {
    return static_cast<char16_t>(kUserAreaA + (lead - 0xAA) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xF8 && trail >= 0xA1) {
    return static_cast<char16_t>(kUserAreaB + (lead - 0xF8) * 94 + (trail - 0xA1));
  }
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) {
    return static_cast<char16_t>(kUserAreaC + (lead - 0xA1) * 96 + trailIndex(trail));
  }
  const int cell = lead << 8 | trail;
  int offset = 0;
  for (const CellRun& run : kSpareCellRuns) {
    const int runLength = trailIndex(run.last & 0xFF) - trailIndex(run.first & 0xFF) + 1;
    if (cell >= run.first && cell <= run.last) {
      return static_cast<char16_t>(kSpareCells + offset + trailIndex(trail) -
                                   trailIndex(run.first & 0xFF));
    }
    offset += runLength;
  }
  return 0;
}

// The two bytes of the GBK cell that holds private-use character `unit`;
// false when no cell does.
bool cellOfPrivateUse(char16_t unit, unsigned char& lead, unsigned char& trail) {
  if (unit < kUserAreaA || unit > kLastPrivateUse) return false;
  if (unit < kUserAreaB) {
    lead = static_cast<unsigned char>(0xAA + (unit - kUserAreaA) / 94);
    trail = static_cast<unsigned char>(0xA1 + (unit - kUserAreaA) % 94);
    return true;
  }
  if (unit < kUserAreaC) {
    lead = static_cast<unsigned char>(0xF8 + (unit - kUserAreaB) / 94);
    trail = static_cast<unsigned char>(0xA1 + (unit - kUserAreaB) % 94);
    return true;
  }
  if (unit < kSpareCells) {
    lead = static_cast<unsigned char>(0xA1 + (unit - kUserAreaC) / 96);
    trail = trailAt((unit - kUserAreaC) % 96);
    return true;
  }
  int offset = unit - kSpareCells;
  for (const CellRun& run : kSpareCellRuns) {
    const int first = trailIndex(run.first & 0xFF);
    const int runLength = trailIndex(run.last & 0xFF) - first + 1;
    if (offset < runLength) {
      lead = static_cast<unsigned char>(run.first >> 8);
      trail = trailAt(first + offset);
      return true;
    }
    offset -= runLength;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Running a converter over a whole input (each run starts from the
// converter's initial state, which threadConverter sets)

// What stands in for a sequence that does not convert: how many input bytes
// it covers and the output units that replace it.
template <typename Unit>
struct Fallback {
  std::size_t skip = 1;
  std::basic_string<Unit> replacement;
};

// Appends `input` converted by `converter` to `output`. At every sequence that
// does not convert (also an incomplete one at the end), `onInvalid` is asked
// for the rest of the input and says what to skip and what to write instead;
// the converter then starts afresh.
template <typename Unit, typename OnInvalid>
void runConverter(iconv_t converter, std::string_view input, std::basic_string<Unit>& output,
                  OnInvalid onInvalid) {
  std::size_t used = output.size();
  output.resize(used + input.size() + 16);
  // Calls iconv with the free room of `output`; returns 0 or the errno.
  auto step = [&](char** in, std::size_t* inLeft) {
    char* out = reinterpret_cast<char*>(output.data() + used);
    std::size_t outLeft = (output.size() - used) * sizeof(Unit);
    const std::size_t result = iconv(converter, in, inLeft, &out, &outLeft);
    const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    used = static_cast<std::size_t>(out - reinterpret_cast<char*>(output.data())) / sizeof(Unit);
    return error;
  };
  auto grow = [&] { output.resize(output.size() * 2 + 16); };
  // Writes the converter's return to its initial shift state.
  auto flush = [&] {
    while (step(nullptr, nullptr) == E2BIG) grow();
  };

  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    const int error = step(&in, &inLeft);
    if (error == 0) break;
    if (error == E2BIG) {
      grow();
      continue;
    }
    flush();
    Fallback<Unit> fallback = onInvalid(std::string_view(in, inLeft));
    const std::size_t skip = std::clamp<std::size_t>(fallback.skip, 1, inLeft);
    output.resize(std::max(output.size(), used + fallback.replacement.size()));
    std::copy(fallback.replacement.begin(), fallback.replacement.end(), output.begin() + used);
    used += fallback.replacement.size();
    in += skip;
    inLeft -= skip;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  flush();
  output.resize(used);
}

// Length of the maximal start of a UTF-8 sequence at the front of `rest`
// (at least 1), which becomes one U+FFFD.
std::size_t invalidUtf8Length(std::string_view rest) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
  const unsigned char lead = byte(0);
  std::size_t continuation;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  std::size_t length = 1;
  while (length <= continuation && length < rest.size()) {
    const unsigned char next = byte(length);
    const bool fits = length == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
    if (!fits) break;
    ++length;
  }
  return length;
}

// How many bytes at the front of `rest` make one undecodable sequence.
std::size_t invalidSequenceLength(Family family, std::string_view rest) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
  switch (family) {
    case Family::gbk:
      return isGbkLead(byte(0)) && rest.size() >= 2 && isGbkTrail(byte(1)) ? 2 : 1;
    case Family::doubleByte:
      return byte(0) >= 0x81 && rest.size() >= 2 && byte(1) >= 0x40 ? 2 : 1;
    case Family::utf8:
      return invalidUtf8Length(rest);
    case Family::utf16:
      return 2;
    case Family::utf32:
      return 4;
    case Family::singleByte:
    case Family::stateful:
      break;
  }
  return 1;
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// `units` as code points; a surrogate pair makes one, a lone surrogate stays
// as it is (and converts to nothing).
std::u32string codePointsOf(std::u16string_view units) {
  std::u32string points(units.size(), U'\0');
  std::size_t count = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
      points[count++] = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else {
      points[count++] = unit;
    }
  }
  points.resize(count);
  return points;
}

// Appends `points` to `units` as UTF-16.
void appendUtf16(std::u32string_view points, std::u16string& units) {
  std::size_t used = units.size();
  const std::size_t supplementary = static_cast<std::size_t>(
      std::count_if(points.begin(), points.end(), [](char32_t p) { return p >= 0x10000 && p <= 0x10FFFF; }));
  units.resize(used + points.size() + supplementary);
  for (char32_t point : points) {
    if (point < 0x10000) {
      units[used++] = static_cast<char16_t>(point);
    } else if (point <= 0x10FFFF) {
      point -= 0x10000;
      units[used++] = static_cast<char16_t>(0xD800 + (point >> 10));
      units[used++] = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
    } else {
      units[used++] = kReplacementUnit;
    }
  }
}

std::string_view bytesOf(std::u32string_view points) {
  return std::string_view(reinterpret_cast<const char*>(points.data()), points.size() * sizeof(char32_t));
}

// The bytes of the default character of `page`.
std::string defaultCharacter(const CodePage& page) {
  if (!isUnicodeForm(page.family)) return "?";
  const std::u32string replacement(1, kReplacementUnit);
  std::string bytes;
  iconv_t converter = threadConverter(page.charset, kWideCharset);
  if (converter == nullptr) return "?";
  runConverter(converter, bytesOf(replacement), bytes,
               [](std::string_view) { return Fallback<char>{4, "?"}; });
  return bytes;
}

// Whether `page` holds the character `unit` (a BMP character, no surrogate).
bool holdsCharacter(const CodePage& page, iconv_t probe, char32_t unit) {
  unsigned char lead = 0;
  unsigned char trail = 0;
  if (page.family == Family::gbk && unit <= 0xFFFF &&
      cellOfPrivateUse(static_cast<char16_t>(unit), lead, trail)) {
    return true;
  }
  char* in = reinterpret_cast<char*>(&unit);
  std::size_t inLeft = sizeof unit;
  char out[16];
  char* outPtr = out;
  std::size_t outLeft = sizeof out;
  iconv(probe, nullptr, nullptr, nullptr, nullptr);
  return iconv(probe, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
}

// `units` with base + non-spacing mark pairs composed where `page` holds the
// precomposed character.
std::u16string composeFor(const CodePage& page, std::u16string_view units) {
  std::u16string out;
  out.reserve(units.size());
  for (char16_t unit : units) {
    if (!out.empty()) {
      const char16_t composed = precomposedOf(out.back(), unit);
      if (composed != 0) {
        iconv_t probe = threadConverter(page.charset, kWideCharset);
        if (probe != nullptr && holdsCharacter(page, probe, composed)) {
          out.back() = composed;
          continue;
        }
      }
    }
    out.push_back(unit);
  }
  return out;
}

}  // namespace

bool isKnownCodePage(int codePage) { return findCodePage(codePage) != nullptr; }

bool multiByteToWide(int codePage, std::string_view input, std::u16string& output) {
  const CodePage* page = findCodePage(codePage);
  if (page == nullptr) return false;
  if (input.empty()) return true;
  iconv_t converter = threadConverter(kWideCharset, page->charset);
  if (converter == nullptr) return false;
  const Family family = page->family;
  std::u32string points;
  runConverter(converter, input, points, [family](std::string_view rest) {
    Fallback<char32_t> fallback;
    fallback.skip = invalidSequenceLength(family, rest);
    char16_t unit = 0;
    if (family == Family::gbk && fallback.skip == 2) {
      unit = privateUseOfCell(static_cast<unsigned char>(rest[0]), static_cast<unsigned char>(rest[1]));
    }
    fallback.replacement.assign(1, unit != 0 ? unit : kReplacementUnit);
    return fallback;
  });
  appendUtf16(points, output);
  return true;
}

bool wideToMultiByte(int codePage, std::u16string_view input, std::string& output,
                     bool compositeCheck) {
  const CodePage* page = findCodePage(codePage);
  if (page == nullptr) return false;
  if (input.empty()) return true;
  std::u16string composed;
  if (compositeCheck) {
    composed = composeFor(*page, input);
    input = composed;
  }
  const std::string defaultBytes = defaultCharacter(*page);
  iconv_t converter = threadConverter(page->charset, kWideCharset);
  if (converter == nullptr) return false;
  const bool gbk = page->family == Family::gbk;
  const std::u32string points = codePointsOf(input);
  runConverter(converter, bytesOf(points), output, [&](std::string_view rest) {
    Fallback<char> fallback;
    fallback.skip = sizeof(char32_t);
    char32_t point = 0;
    std::memcpy(&point, rest.data(), std::min(rest.size(), sizeof point));
    unsigned char lead = 0;
    unsigned char trail = 0;
    if (gbk && point <= 0xFFFF && cellOfPrivateUse(static_cast<char16_t>(point), lead, trail)) {
      fallback.replacement = {static_cast<char>(lead), static_cast<char>(trail)};
    } else {
      fallback.replacement = defaultBytes;
    }
    return fallback;
  });
  return true;
}

}  // namespace varnelo::platform
