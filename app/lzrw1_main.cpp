// ombrix-lzrw1: inspect or repair a tally file, and run the compressor from
// the command line.
//
//   ombrix-lzrw1 compress [--mode fast|good|auto] IN OUT
//   ombrix-lzrw1 decompress IN OUT
//   ombrix-lzrw1 advise IN
#include <cstdio>
#include <cstring>
#include <string>

#include "compress/lzrw1.h"

using ombrix::lzrw::Tlzrw1;

namespace {
int usage() {
  std::fprintf(stderr,
               "usage: ombrix-lzrw1 compress [--mode fast|good|auto] IN OUT\n"
               "       ombrix-lzrw1 decompress IN OUT\n"
               "       ombrix-lzrw1 advise IN\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string verb = argv[1];
  Tlzrw1 c;
  c.Visible = false;  // only the final result is printed
  int arg = 2;
  if (verb == "compress" && arg + 1 < argc && std::strcmp(argv[arg], "--mode") == 0) {
    const std::string mode = argv[arg + 1];
    if (mode == "fast")
      c.CompressMode = ombrix::lzrw::Fast;
    else if (mode == "good")
      c.CompressMode = ombrix::lzrw::Good;
    else if (mode == "auto")
      c.CompressMode = ombrix::lzrw::Auto;
    else
      return usage();
    arg += 2;
  } else if (verb == "compress") {
    c.CompressMode = ombrix::lzrw::Fast;  // the tally file's mode
  }
  try {
    if (verb == "advise" && arg + 1 == argc) {
      c.InputFile = argv[arg];
      c.Visible = true;
      std::string last;
      c.OnCaption = [&](const std::string& s) { last = s; };
      const int r = c.Advise();
      std::printf("%s\n%s\n", last.c_str(), r ? "fast" : "good");
      return 0;
    }
    if ((verb == "compress" || verb == "decompress") && arg + 2 == argc) {
      c.InputFile = argv[arg];
      c.OutputFile = argv[arg + 1];
      c.Visible = true;
      std::string last;
      c.OnCaption = [&](const std::string& s) { last = s; };
      const uint64_t n = verb == "compress" ? c.Compress() : c.Decompress();
      std::printf("%s\n%llu bytes read, %llu bytes written\n", last.c_str(),
                  static_cast<unsigned long long>(c.bytesRead()), static_cast<unsigned long long>(n));
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return usage();
}
