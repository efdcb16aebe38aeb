// registry_fuzz.cpp — bytes into the process list's parsers: an entry file,
// and the /proc/PID/stat text that liveness checks read. Whatever the bytes,
// parsing answers true or false without crashing or reading past them, and
// an accepted entry comes back unchanged through its own format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/processes/ProcessRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace mp = macplatform::processes;
  mp::Entry entry;
  if (mp::ParseEntry(data, size, &entry)) {
    std::string text = mp::FormatEntry(entry);
    mp::Entry again;
    if (!mp::ParseEntry(text.data(), text.size(), &again) || again.serial != entry.serial ||
        again.pid != entry.pid || again.startTime != entry.startTime || again.launcher != entry.launcher ||
        again.type != entry.type || again.creator != entry.creator || again.mode != entry.mode ||
        again.name != entry.name || again.exe != entry.exe)
      std::abort();
  }
  UInt64 start = 0, cpu = 0;
  mp::ParseProcStat(std::string_view(reinterpret_cast<const char*>(data), size), &start, &cpu);
  return 0;
}
