// Reading the list file line by line on any content: a line never holds a
// NUL, and holds LF or 0x1A only as the second byte of a two-byte character
// (which is never split); reading never makes up bytes.
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "app/slot_dispatcher.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/varnelo-line-reader-fuzz-" + std::to_string(::getpid());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  varnelo::platform::SharedFile file(path);
  std::size_t consumed = 0;
  for (std::size_t i = 0; i <= size + 1; ++i) {
    const varnelo::Text line = varnelo::readListLine(file);
    FUZZ_CHECK(line.find('\0') == varnelo::Text::npos);
    for (std::size_t k = 0; k < line.size(); ++k) {
      const auto byte = static_cast<unsigned char>(line[k]);
      if (byte >= 0x80) {
        ++k;  // the second byte of the character may be anything but NUL
        continue;
      }
      FUZZ_CHECK(byte != '\n' && byte != 0x1A);
    }
    consumed += line.size();
  }
  FUZZ_CHECK(consumed <= size);
  ::unlink(path.c_str());
  return 0;
}
