// CmdPs.cpp — `macctl ps` lists the process list; `macctl front NAME|PSN`
// brings a process to the front.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

namespace mp = macplatform::processes;

// A four-character code as its characters, or as 0xXXXXXXXX when one of
// them is not printable.
std::string FourCC(OSType code) {
  char text[16];
  bool printable = true;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char c = static_cast<unsigned char>(code >> shift);
    if (c < 0x20 || c > 0x7E) printable = false;
  }
  if (printable) {
    std::snprintf(text, sizeof text, "%c%c%c%c", static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                  static_cast<char>(code >> 8), static_cast<char>(code));
  } else {
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  }
  return text;
}

std::string ErrorText(OSErr err) { return "error " + std::to_string(err); }

// Columns: serial number, pid, type, creator, front (*), background-only
// (B), name. Every column is as wide as its widest cell; numbers are
// right-aligned.
int Ps(const Args& args) {
  if (!args.empty()) return Fail("ps", "takes no arguments (usage: macctl ps)");
  std::vector<mp::Entry> entries;
  OSErr err = mp::List(&entries);
  if (err != noErr) return Fail("ps", "cannot read the process list: " + ErrorText(err));
  UInt32 front = 0;
  if (mp::FrontSerial(&front) != noErr) front = 0;

  std::vector<std::vector<std::string>> rows;
  rows.push_back({"PSN", "PID", "TYPE", "CRTR", "F", "B", "NAME"});
  for (const mp::Entry& e : entries) {
    rows.push_back({std::to_string(e.serial), std::to_string(e.pid), FourCC(e.type), FourCC(e.creator),
                    e.serial == front ? "*" : "-", (e.mode & modeOnlyBackground) != 0 ? "B" : "-", e.name});
  }
  std::vector<size_t> width(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      bool last = i + 1 == row.size();
      bool number = i < 2;
      size_t pad = width[i] - row[i].size();
      if (number) line.append(pad, ' ');
      line += row[i];
      if (!number && !last) line.append(pad, ' ');
      if (!last) line += "  ";
    }
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() <= 10 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A serial number as `macctl ps` shows it, else a process name.
int Front(const Args& args) {
  if (args.size() != 1) return Fail("front", "usage: macctl front NAME|PSN");
  const std::string& which = args[0];
  mp::Entry entry;
  OSErr err = procNotFound;
  if (AllDigits(which)) {
    unsigned long serial = std::stoul(which);
    if (serial <= 0xFFFFFFFFul) err = mp::LookUp(static_cast<UInt32>(serial), &entry);
  }
  if (err == procNotFound) err = mp::FindByName(which, &entry);
  if (err == procNotFound) return Fail("front", "no running process named or numbered '" + which + "'");
  if (err != noErr) return Fail("front", "cannot read the process list: " + ErrorText(err));
  ProcessSerialNumber psn = {0, entry.serial};
  err = SetFrontProcess(&psn);
  if (err == procNotFound) return Fail("front", "'" + which + "' has quit");
  if (err != noErr) return Fail("front", "cannot make '" + which + "' front: " + ErrorText(err));
  return 0;
}

}  // namespace

MACCTL_COMMAND("ps", "ps                  list the processes of this session (F: front, B: background-only)", Ps);
MACCTL_COMMAND("front", "front NAME|PSN      make a process the front process", Front);

}  // namespace macctl
