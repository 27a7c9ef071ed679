// ombrix-lzrw1: inspect or repair a tally file, and run the compressor from
// the command line.
//
//   ombrix-lzrw1 compress [--mode fast|good|auto] IN OUT
//   ombrix-lzrw1 decompress IN OUT
//   ombrix-lzrw1 advise IN
//   ombrix-lzrw1 --help | --version
#include <cstdio>
#include <cstring>
#include <string>

#include "compress/lzrw1.h"
#include "ombrix_build.h"

using ombrix::lzrw::Tlzrw1;

namespace {
constexpr const char* kUsage =
    "usage: ombrix-lzrw1 compress [--mode fast|good|auto] IN OUT\n"
    "       ombrix-lzrw1 decompress IN OUT\n"
    "       ombrix-lzrw1 advise IN\n"
    "       ombrix-lzrw1 --help | --version\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "--help" || verb == "-h") {
    std::printf(
        "%s\nThe tally file's compressor: compress (mode fast by default, as the tally),\n"
        "decompress, or advise which mode suits a file.\n",
        kUsage);
    return 0;
  }
  if (verb == "--version" || verb == "-v") {
    std::printf("ombrix-lzrw1 %s (build %s)\n", OMBRIX_VERSION, OMBRIX_BUILD);
    return 0;
  }
  if (argc < 3) return usage();
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
