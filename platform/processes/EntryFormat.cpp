// EntryFormat.cpp — the text of an entry file and of /proc/PID/stat.
//
// Portable part of the process list: turning bytes into an Entry and back.
// Entry files are read from a folder that only this user can write, but a
// crash, a full disk or a stray editor can still leave anything there, so
// the parser takes nothing for granted: every field is checked for form and
// range, the whole text must end with a newline (a cut file is refused), and
// a refused file is never half-used.
#include <cstring>
#include <string>
#include <string_view>

#include "platform/processes/ProcessRegistry.h"

namespace macplatform::processes {
namespace {

constexpr std::string_view kHeader = "macplatform-process 1";
constexpr size_t kMaxEntrySize = 8192;
constexpr size_t kMaxNameLength = 31;
constexpr size_t kMaxExeLength = 4095;

// Decimal digits only, no sign, no spaces; false on overflow of `max`.
bool ParseDecimal(std::string_view text, UInt64 max, UInt64* value) {
  if (text.empty() || text.size() > 20) return false;
  UInt64 v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    UInt64 digit = static_cast<UInt64>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// Exactly eight hexadecimal digits.
bool ParseHex32(std::string_view text, UInt32* value) {
  if (text.size() != 8) return false;
  UInt32 v = 0;
  for (char c : text) {
    UInt32 digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<UInt32>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<UInt32>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<UInt32>(c - 'a' + 10);
    else
      return false;
    v = (v << 4) | digit;
  }
  *value = v;
  return true;
}

std::string Hex32(UInt32 value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i) {
    out[static_cast<size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

bool HasControlCharacters(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

bool ParseEntry(const void* data, size_t size, Entry* entry) {
  if (data == nullptr || entry == nullptr || size == 0 || size > kMaxEntrySize) return false;
  std::string_view text(static_cast<const char*>(data), size);
  if (text.find('\0') != std::string_view::npos) return false;
  if (text.back() != '\n') return false;  // cut short

  enum Field { kSerial, kPid, kStart, kLauncher, kType, kCreator, kMode, kName, kExe, kFieldCount };
  static const char* const kKeys[kFieldCount] = {"serial", "pid",  "start", "launcher", "type",
                                                 "creator", "mode", "name",  "exe"};
  bool seen[kFieldCount] = {};
  Entry parsed;

  size_t line_start = 0;
  bool first = true;
  while (line_start < text.size()) {
    size_t line_end = text.find('\n', line_start);  // found: text ends with '\n'
    std::string_view line = text.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    if (first) {
      if (line != kHeader) return false;
      first = false;
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    std::string_view key = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    int field = -1;
    for (int i = 0; i < kFieldCount; ++i)
      if (key == kKeys[i]) field = i;
    if (field < 0) continue;  // a field of a later version: not ours to judge
    if (seen[field]) return false;
    seen[field] = true;

    UInt64 number = 0;
    switch (field) {
      case kSerial:
        if (!ParseDecimal(value, 0xFFFFFFFFu, &number) || number <= 2) return false;
        parsed.serial = static_cast<UInt32>(number);
        break;
      case kPid:
        if (!ParseDecimal(value, 0x7FFFFFFF, &number) || number == 0) return false;
        parsed.pid = static_cast<pid_t>(number);
        break;
      case kStart:
        if (!ParseDecimal(value, ~UInt64{0}, &number)) return false;
        parsed.startTime = number;
        break;
      case kLauncher:
        if (!ParseDecimal(value, 0xFFFFFFFFu, &number)) return false;
        parsed.launcher = static_cast<UInt32>(number);
        break;
      case kType:
        if (!ParseHex32(value, &parsed.type)) return false;
        break;
      case kCreator:
        if (!ParseHex32(value, &parsed.creator)) return false;
        break;
      case kMode:
        if (!ParseHex32(value, &parsed.mode)) return false;
        break;
      case kName:
        if (value.size() > kMaxNameLength || HasControlCharacters(value)) return false;
        parsed.name.assign(value);
        break;
      case kExe:
        if (value.size() > kMaxExeLength || HasControlCharacters(value)) return false;
        if (!value.empty() && value[0] != '/') return false;
        parsed.exe.assign(value);
        break;
    }
  }
  if (first) return false;
  for (bool s : seen)
    if (!s) return false;
  *entry = std::move(parsed);
  return true;
}

std::string FormatEntry(const Entry& entry) {
  std::string out;
  out.reserve(256 + entry.exe.size());
  out.append(kHeader).append("\n");
  out.append("serial=").append(std::to_string(entry.serial)).append("\n");
  out.append("pid=").append(std::to_string(entry.pid)).append("\n");
  out.append("start=").append(std::to_string(entry.startTime)).append("\n");
  out.append("launcher=").append(std::to_string(entry.launcher)).append("\n");
  out.append("type=").append(Hex32(entry.type)).append("\n");
  out.append("creator=").append(Hex32(entry.creator)).append("\n");
  out.append("mode=").append(Hex32(entry.mode)).append("\n");
  out.append("name=").append(entry.name).append("\n");
  out.append("exe=").append(entry.exe).append("\n");
  return out;
}

bool ParseProcStat(std::string_view stat, UInt64* startTime, UInt64* cpuTime) {
  // "PID (COMM) STATE PPID ...": COMM may hold spaces and parentheses, so the
  // fields start after the last ')'.
  size_t close = stat.rfind(')');
  if (close == std::string_view::npos || close + 1 >= stat.size() || stat[close + 1] != ' ') return false;
  std::string_view rest = stat.substr(close + 2);
  // Fields after COMM are numbered from 3 (STATE).
  constexpr int kUtime = 14 - 3, kStime = 15 - 3, kStartTime = 22 - 3;
  UInt64 utime = 0, stime = 0, start = 0;
  int index = 0;
  size_t pos = 0;
  while (index <= kStartTime) {
    if (pos >= rest.size()) return false;
    size_t end = rest.find_first_of(" \n", pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view field = rest.substr(pos, end - pos);
    UInt64* target = index == kUtime ? &utime : index == kStime ? &stime : index == kStartTime ? &start : nullptr;
    if (target != nullptr && !ParseDecimal(field, ~UInt64{0}, target)) return false;
    ++index;
    pos = end + 1;
  }
  if (startTime != nullptr) *startTime = start;
  if (cpuTime != nullptr) *cpuTime = utime + stime;
  return true;
}

}  // namespace macplatform::processes
