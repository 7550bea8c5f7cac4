#include "canvas_internal.h"

#include <cstdarg>
#include <cstdio>

namespace termcanvas {

int debug = 0;

namespace {
const char kDebugLog[] = "/tmp/CursesDebug.log";
// Debug lines are formatted into a fixed area; longer ones are cut.
const int kDebugLineSize = 100;
}  // namespace

void debugMsg(const char* text) {
  // Opened per line so that the log is complete even if the JVM dies.
  FILE* f = std::fopen(kDebugLog, "a");
  if (f == nullptr) return;
  std::fprintf(f, "%s\n", text);
  std::fclose(f);
}

void debugf(const char* format, ...) {
  if (!debug) return;
  char line[kDebugLineSize];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  debugMsg(line);
}

}  // namespace termcanvas
