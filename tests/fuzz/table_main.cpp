// libFuzzer entry point over the table window, offscreen, as a hostile host
// would drive it.
#include <QApplication>
#include <cstdlib>

#include "tests/fuzz/table_target.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Never destroyed: what Qt caches stays reachable to the end, so the leak
  // check at exit sees only what an input left behind.
  static QApplication* app = new QApplication(*argc, *argv);
  (void)app;
  ombrix::fuzz::prepareTable();
  return 0;
}

// Caches the font library keeps for the life of the process: not ours to mend.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ombrix::fuzz::driveTable(data, size);
}
