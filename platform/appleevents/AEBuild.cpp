// AEBuild.cpp — the build language: descriptors from format strings
// (AEBuildDesc, AEBuildParameters, AEBuildAppleEvent).
//
// A recursive-descent reader over the bytes of the format string. The
// grammar and the rules for '@' arguments are in docs/platform.md. The
// reader never looks past the terminating zero, nests at most kMaxDepth
// levels, and reports the first error with its kind and byte offset; nothing
// it made survives a failure.
#include <cstdarg>
#include <cstring>

#include "platform/appleevents/AEInternal.h"

using namespace macplatform::ae;

namespace {

// An item owned by the reader until it is handed on.
struct Owned {
  Item item;
  Owned() = default;
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Release(item.node); }
  Item Take() {
    Item it = item;
    item = Item{};
    return it;
  }
};

struct Items {
  std::vector<Item> v;
  Items() = default;
  Items(const Items&) = delete;
  Items& operator=(const Items&) = delete;
  ~Items() {
    for (Item& it : v) Release(it.node);
  }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-8 spellings of the typographic delimiters.
constexpr char kOpenCurly[] = "\xE2\x80\x9C";   // “
constexpr char kCloseCurly[] = "\xE2\x80\x9D";  // ”
constexpr char kOpenHex[] = "\xC2\xAB";         // «
constexpr char kCloseHex[] = "\xC2\xBB";        // »

class Reader {
 public:
  Reader(const char* src, va_list* args) : s_(src), n_(std::strlen(src)), args_(args) {}

  OSStatus status() const { return status_; }
  AEBuildErrorCode kind() const { return kind_; }
  size_t errorPos() const { return errorPos_; }

  // A whole format string that is one descriptor.
  bool ReadDescriptor(Item* out) {
    Owned v;
    if (!ReadValue(&v.item, 0)) return false;
    SkipSpace();
    if (pos_ != n_) return Fail(aeBuildSyntaxNoEOF, pos_);
    *out = v.Take();
    return true;
  }

  // A whole format string that is "key:value, key:value ...".
  bool ReadParameters(std::vector<Item>* out) {
    Items items;
    SkipSpace();
    while (pos_ < n_) {
      if (!ReadKeyValue(&items.v, 0)) return false;
      SkipSpace();
      if (pos_ == n_) break;
      if (s_[pos_] != ',') return Fail(aeBuildSyntaxNoEOF, pos_);
      ++pos_;
      SkipSpace();
      if (pos_ == n_) return Fail(aeBuildSyntaxBadEOF, pos_);
    }
    out->swap(items.v);
    return true;
  }

 private:
  const char* s_;
  size_t n_;
  size_t pos_ = 0;
  va_list* args_;
  OSStatus status_ = noErr;
  AEBuildErrorCode kind_ = aeBuildSyntaxNoErr;
  size_t errorPos_ = 0;

  bool Fail(AEBuildErrorCode kind, size_t at, OSStatus status = errAEBuildSyntaxError) {
    if (status_ == noErr) {
      status_ = status;
      kind_ = kind;
      errorPos_ = at;
    }
    return false;
  }
  bool Made(OSErr err, size_t at) {
    if (err == noErr) return true;
    return Fail(aeBuildSyntaxBadData, at, err);
  }
  void SkipSpace() {
    while (pos_ < n_ && IsSpace(s_[pos_])) ++pos_;
  }
  bool At(const char* token) const {
    size_t len = std::strlen(token);
    return n_ - pos_ >= len && std::memcmp(s_ + pos_, token, len) == 0;
  }
  bool AtCode() const {
    return pos_ < n_ && (s_[pos_] == '\'' || IsIdentStart(s_[pos_]));
  }

  // \\ \" \' \n \r \t \xHH; `pos_` is on the backslash.
  bool ReadEscape(std::string* out) {
    size_t at = pos_;
    if (pos_ + 1 >= n_) return Fail(aeBuildSyntaxBadToken, at);
    char c = s_[pos_ + 1];
    pos_ += 2;
    switch (c) {
      case '\\': case '"': case '\'':
        out->push_back(c);
        return true;
      case 'n':
        out->push_back('\n');
        return true;
      case 'r':
        out->push_back('\r');
        return true;
      case 't':
        out->push_back('\t');
        return true;
      case 'x': {
        if (n_ - pos_ < 2 || HexValue(s_[pos_]) < 0 || HexValue(s_[pos_ + 1]) < 0)
          return Fail(aeBuildSyntaxBadToken, at);
        out->push_back(char(HexValue(s_[pos_]) * 16 + HexValue(s_[pos_ + 1])));
        pos_ += 2;
        return true;
      }
      default:
        return Fail(aeBuildSyntaxBadToken, at);
    }
  }

  // A four-character code: an identifier of 1 to 4 letters, digits and '_'
  // (not starting with a digit), or 1 to 4 characters in single quotes;
  // shorter codes are padded with spaces.
  bool ReadCode(DescType* code) {
    size_t start = pos_;
    std::string chars;
    if (s_[pos_] == '\'') {
      ++pos_;
      for (;;) {
        if (pos_ >= n_) return Fail(aeBuildSyntaxMissingQuote, start);
        char c = s_[pos_];
        if (c == '\'') break;
        if (c == '\\') {
          if (!ReadEscape(&chars)) return false;
        } else {
          chars.push_back(c);
          ++pos_;
        }
        if (chars.size() > 4) return Fail(aeBuildSyntaxBadToken, start);
      }
      ++pos_;
      if (chars.empty()) return Fail(aeBuildSyntaxBadToken, start);
    } else {
      while (pos_ < n_ && IsIdentChar(s_[pos_])) chars.push_back(s_[pos_++]);
      if (chars.size() > 4) return Fail(aeBuildSyntaxBadToken, start);
    }
    chars.resize(4, ' ');
    *code = MacFourCC(chars.data());
    return true;
  }

  bool ReadKeyValue(std::vector<Item>* items, int depth) {
    if (!AtCode()) return Fail(pos_ < n_ ? aeBuildSyntaxNoKey : aeBuildSyntaxBadEOF, pos_);
    DescType key;
    if (!ReadCode(&key)) return false;
    SkipSpace();
    if (pos_ >= n_ || s_[pos_] != ':') return Fail(aeBuildSyntaxNoColon, pos_);
    ++pos_;
    Owned v;
    if (!ReadValue(&v.item, depth + 1)) return false;
    v.item.key = key;
    items->push_back(v.Take());
    return true;
  }

  // After '{'.
  bool ReadRecord(DescType type, Item* out, int depth) {
    auto* rec = NewList(NodeKind::Record);
    if (!rec) return Fail(aeBuildSyntaxBadData, pos_, memFullErr);
    Owned holder;
    holder.item = Item{0, type, rec};
    SkipSpace();
    if (pos_ < n_ && s_[pos_] == '}') {
      ++pos_;
      *out = holder.Take();
      return true;
    }
    for (;;) {
      SkipSpace();
      if (!ReadKeyValue(&rec->items, depth)) return false;
      SkipSpace();
      if (pos_ < n_ && s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < n_ && s_[pos_] == '}') {
        ++pos_;
        break;
      }
      return Fail(aeBuildSyntaxNoCloseBrace, pos_);
    }
    *out = holder.Take();
    return true;
  }

  // After '['.
  bool ReadList(Item* out, int depth) {
    auto* list = NewList(NodeKind::List);
    if (!list) return Fail(aeBuildSyntaxBadData, pos_, memFullErr);
    Owned holder;
    holder.item = Item{0, typeAEList, list};
    SkipSpace();
    if (pos_ < n_ && s_[pos_] == ']') {
      ++pos_;
      *out = holder.Take();
      return true;
    }
    for (;;) {
      Owned v;
      if (!ReadValue(&v.item, depth + 1)) return false;
      list->items.push_back(v.Take());
      SkipSpace();
      if (pos_ < n_ && s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < n_ && s_[pos_] == ']') {
        ++pos_;
        break;
      }
      return Fail(aeBuildSyntaxNoCloseBracket, pos_);
    }
    *out = holder.Take();
    return true;
  }

  bool ReadInteger(Item* out) {
    size_t start = pos_;
    bool negative = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') {
      negative = s_[pos_] == '-';
      ++pos_;
      if (pos_ >= n_ || s_[pos_] < '0' || s_[pos_] > '9')
        return Fail(negative ? aeBuildSyntaxBadNegative : aeBuildSyntaxBadToken, start);
    }
    // Accumulated as a negative number, whose range is the larger one.
    SInt64 v = 0;
    while (pos_ < n_ && s_[pos_] >= '0' && s_[pos_] <= '9') {
      int d = s_[pos_] - '0';
      if (v < (INT64_MIN + d) / 10) return Fail(aeBuildSyntaxBadData, start);
      v = v * 10 - d;
      ++pos_;
    }
    if (pos_ < n_ && IsIdentChar(s_[pos_])) return Fail(aeBuildSyntaxBadToken, start);
    if (!negative) {
      if (v == INT64_MIN) return Fail(aeBuildSyntaxBadData, start);
      v = -v;
    }
    if (v >= INT16_MIN && v <= INT16_MAX) {
      SInt16 x = SInt16(v);
      return Made(MakeItem(typeSInt16, &x, 2, out), start);
    }
    if (v >= INT32_MIN && v <= INT32_MAX) {
      SInt32 x = SInt32(v);
      return Made(MakeItem(typeSInt32, &x, 4, out), start);
    }
    return Made(MakeItem(typeSInt64, &v, 8, out), start);
  }

  bool ReadText(Item* out) {
    size_t start = pos_;
    std::string text;
    if (At(kOpenCurly)) {
      pos_ += 3;
      const char* end = nullptr;
      for (size_t i = pos_; i + 3 <= n_; ++i)
        if (std::memcmp(s_ + i, kCloseCurly, 3) == 0) {
          end = s_ + i;
          break;
        }
      if (!end) return Fail(aeBuildSyntaxNoCloseString, start);
      text.assign(s_ + pos_, end);
      pos_ = size_t(end - s_) + 3;
    } else {
      ++pos_;
      for (;;) {
        if (pos_ >= n_) return Fail(aeBuildSyntaxNoCloseString, start);
        char c = s_[pos_];
        if (c == '"') break;
        if (c == '\\') {
          if (!ReadEscape(&text)) return false;
        } else {
          text.push_back(c);
          ++pos_;
        }
      }
      ++pos_;
    }
    return Made(MakeItem(typeChar, text.data(), text.size(), out), start);
  }

  // «hex» or $hex$, whitespace allowed between digits.
  bool ReadHex(std::string* bytes) {
    size_t start = pos_;
    bool dollar = s_[pos_] == '$';
    pos_ += dollar ? 1 : 2;
    int high = -1;
    for (;;) {
      if (pos_ >= n_) return Fail(aeBuildSyntaxNoCloseHex, start);
      if (dollar ? s_[pos_] == '$' : At(kCloseHex)) break;
      char c = s_[pos_];
      if (IsSpace(c)) {
        ++pos_;
        continue;
      }
      int h = HexValue(c);
      if (h < 0) return Fail(aeBuildSyntaxBadHex, pos_);
      if (high < 0) {
        high = h;
      } else {
        bytes->push_back(char(high * 16 + h));
        high = -1;
      }
      ++pos_;
    }
    if (high >= 0) return Fail(aeBuildSyntaxOddHex, pos_);
    pos_ += dollar ? 1 : 2;
    return true;
  }

  // `type(@)`-style arguments: what the next argument is depends on the type.
  bool ReadArgument(DescType type, Item* out, size_t at) {
    switch (type) {
      case typeChar:
      case typeUTF8Text: {
        const char* str = va_arg(*args_, const char*);
        return Made(MakeItem(type, str ? str : "", str ? std::strlen(str) : 0, out), at);
      }
      case typeSInt16: {
        int v = va_arg(*args_, int);
        if (v < INT16_MIN || v > INT16_MAX) return Fail(aeBuildSyntaxBadData, at);
        SInt16 x = SInt16(v);
        return Made(MakeItem(type, &x, 2, out), at);
      }
      case typeSInt32: {
        SInt32 x = va_arg(*args_, int);
        return Made(MakeItem(type, &x, 4, out), at);
      }
      case typeBoolean: {
        UInt8 x = va_arg(*args_, int) != 0;
        return Made(MakeItem(type, &x, 1, out), at);
      }
      case typeUInt32:
      case typeType:
      case typeEnumerated:
      case typeKeyword: {
        UInt32 x = va_arg(*args_, unsigned int);
        return Made(MakeItem(type, &x, 4, out), at);
      }
      case typeSInt64: {
        SInt64 x = va_arg(*args_, long long);
        return Made(MakeItem(type, &x, 8, out), at);
      }
      case typeIEEE64BitFloatingPoint: {
        double x = va_arg(*args_, double);
        return Made(MakeItem(type, &x, 8, out), at);
      }
      case typeIEEE32BitFloatingPoint: {
        float x = float(va_arg(*args_, double));
        return Made(MakeItem(type, &x, 4, out), at);
      }
      default: {
        const void* data = va_arg(*args_, const void*);
        Size size = va_arg(*args_, Size);
        if (size < 0 || (size > 0 && !data)) return Fail(aeBuildSyntaxBadData, at);
        return Made(MakeItem(type, data, size_t(size), out), at);
      }
    }
  }

  // After "'xxxx'(" — the contents of typed data.
  bool ReadTyped(DescType type, Item* out, int depth) {
    SkipSpace();
    size_t at = pos_;
    Owned v;
    if (pos_ < n_ && s_[pos_] == ')') {
      if (type != typeNull && !Made(MakeItem(type, nullptr, 0, &v.item), at)) return false;
    } else if (At("@@")) {
      pos_ += 2;
      Handle h = va_arg(*args_, Handle);
      const void* data = h ? *h : nullptr;
      Size size = h ? GetHandleSize(h) : 0;
      if (!Made(MakeItem(type, data, data ? size_t(size) : 0, &v.item), at)) return false;
    } else if (s_[pos_] == '@' && [&] {
                 size_t p = pos_ + 1;
                 while (p < n_ && IsSpace(s_[p])) ++p;
                 return p < n_ && s_[p] == ')';
               }()) {
      ++pos_;
      if (!ReadArgument(type, &v.item, at)) return false;
    } else if (s_[pos_] == '$' || At(kOpenHex)) {
      std::string bytes;
      if (!ReadHex(&bytes)) return false;
      if (!Made(MakeItem(type, bytes.data(), bytes.size(), &v.item), at)) return false;
    } else {
      Owned inner;
      if (!ReadValue(&inner.item, depth + 1)) return false;
      if (!Made(CoerceItem(inner.item, type, &v.item), at)) return false;
    }
    SkipSpace();
    if (pos_ >= n_ || s_[pos_] != ')') return Fail(aeBuildSyntaxNoCloseParen, pos_);
    ++pos_;
    *out = v.Take();
    return true;
  }

  bool ReadValue(Item* out, int depth) {
    SkipSpace();
    if (depth > kMaxDepth) return Fail(aeBuildSyntaxBadDesc, pos_);
    if (pos_ >= n_) return Fail(aeBuildSyntaxBadEOF, pos_);
    size_t start = pos_;
    char c = s_[pos_];
    if (c == '[') {
      ++pos_;
      return ReadList(out, depth);
    }
    if (c == '{') {
      ++pos_;
      return ReadRecord(typeAERecord, out, depth);
    }
    if (c == '(') {
      ++pos_;
      Owned v;
      if (!ReadValue(&v.item, depth + 1)) return false;
      SkipSpace();
      if (pos_ >= n_ || s_[pos_] != ')') return Fail(aeBuildSyntaxNoCloseParen, pos_);
      ++pos_;
      *out = v.Take();
      return true;
    }
    if (c == '@') {
      if (At("@@")) return Fail(aeBuildSyntaxUncoercedDoubleAt, start);
      ++pos_;
      const AEDesc* desc = va_arg(*args_, const AEDesc*);
      *out = desc ? DescToItem(desc) : Item{};
      return true;
    }
    if (c == '$' || At(kOpenHex)) return Fail(aeBuildSyntaxUncoercedHex, start);
    if ((c >= '0' && c <= '9') || c == '-' || c == '+') return ReadInteger(out);
    if (c == '"' || At(kOpenCurly)) return ReadText(out);
    if (AtCode()) {
      DescType code;
      if (!ReadCode(&code)) return false;
      SkipSpace();
      if (pos_ < n_ && s_[pos_] == '(') {
        ++pos_;
        return ReadTyped(code, out, depth);
      }
      if (pos_ < n_ && s_[pos_] == '{') {
        if (code == typeAEList || code == typeAppleEvent) return Fail(aeBuildSyntaxBadDesc, start);
        ++pos_;
        return ReadRecord(code, out, depth);
      }
      if (pos_ < n_ && s_[pos_] == '[') return Fail(aeBuildSyntaxCoercedList, pos_);
      return Made(MakeItem(typeEnumerated, &code, 4, out), start);
    }
    return Fail(aeBuildSyntaxBadToken, start);
  }
};

void Report(const Reader& r, AEBuildError* error) {
  if (!error) return;
  error->fError = r.kind();
  error->fErrorPos = UInt32(r.errorPos());
}

}  // namespace

OSStatus vAEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, va_list args) {
  if (error) *error = AEBuildError{aeBuildSyntaxNoErr, 0};
  if (!dst || !src) return paramErr;
  va_list copy;
  va_copy(copy, args);
  Reader r(src, &copy);
  Item it;
  bool ok = r.ReadDescriptor(&it);
  va_end(copy);
  Report(r, error);
  if (!ok) return r.status();
  ItemToDesc(it, dst);
  return noErr;
}

OSStatus AEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, ...) {
  va_list args;
  va_start(args, src);
  OSStatus err = vAEBuildDesc(dst, error, src, args);
  va_end(args);
  return err;
}

OSStatus vAEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format,
                            va_list args) {
  if (error) *error = AEBuildError{aeBuildSyntaxNoErr, 0};
  if (!event || !format) return paramErr;
  const ListNode* target = AsList(NodeOf(event));
  if (!target || target->kind == NodeKind::List) return errAEWrongDataType;
  va_list copy;
  va_copy(copy, args);
  Reader r(format, &copy);
  Items items;
  bool ok = r.ReadParameters(&items.v);
  va_end(copy);
  Report(r, error);
  if (!ok) return r.status();
  for (const Item& it : items.v) {
    AEDesc d;
    SetDesc(&d, it.type, it.node);
    OSErr err = AEPutParamDesc(event, it.key, &d);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus AEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  OSStatus err = vAEBuildParameters(event, error, format, args);
  va_end(args);
  return err;
}

OSStatus vAEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                            const void* addressData, Size addressLength, AEReturnID returnID,
                            AETransactionID transactionID, AppleEvent* resultEvt,
                            AEBuildError* error, const char* paramsFmt, va_list args) {
  if (error) *error = AEBuildError{aeBuildSyntaxNoErr, 0};
  if (!resultEvt || !paramsFmt) return paramErr;
  AEDesc address = {typeNull, nullptr};
  OSErr err = AECreateDesc(addressType, addressData, addressLength, &address);
  if (err != noErr) return err;
  AppleEvent event = {typeNull, nullptr};
  err = AECreateAppleEvent(theClass, theID, &address, returnID, transactionID, &event);
  AEDisposeDesc(&address);
  if (err != noErr) return err;
  OSStatus status = vAEBuildParameters(&event, error, paramsFmt, args);
  if (status != noErr) {
    AEDisposeDesc(&event);
    return status;
  }
  *resultEvt = event;
  return noErr;
}

OSStatus AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                           const void* addressData, Size addressLength, AEReturnID returnID,
                           AETransactionID transactionID, AppleEvent* result,
                           AEBuildError* error, const char* paramsFmt, ...) {
  va_list args;
  va_start(args, paramsFmt);
  OSStatus err = vAEBuildAppleEvent(theClass, theID, addressType, addressData, addressLength,
                                    returnID, transactionID, result, error, paramsFmt, args);
  va_end(args);
  return err;
}
