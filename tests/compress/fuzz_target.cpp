#include "tests/compress/fuzz_target.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "compress/lzrw1.h"

namespace ombrix::lzrw {

int decompressAnything(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  Tlzrw1 c;
  c.UseStream = true;
  c.Visible = false;
  c.InputStream = &in;
  c.OutputStream = &out;
  try {
    const uint64_t n = c.Decompress();
    // Success means exactly the size the header claims.
    if (size < 8 || out.str().size() != n) std::abort();
    const uint32_t claimed =
        uint32_t{data[4]} | uint32_t{data[5]} << 8 | uint32_t{data[6]} << 16 | uint32_t{data[7]} << 24;
    if (n != claimed) std::abort();
  } catch (const ELzrw1Exception&) {
  }
  return 0;
}

}  // namespace ombrix::lzrw
