// AEPrint.cpp — AEPrintDescToHandle: a descriptor rendered in the build
// language, so that AEBuildDesc of the text gives an equal descriptor for
// every type it can express (events print as class\ID{...}, which is for
// reading only).
#include <cstdio>
#include <string>

#include "platform/appleevents/AEInternal.h"

namespace macplatform::ae {

namespace {

constexpr int kMaxPrintDepth = 4 * kMaxDepth;

bool IsBareCode(UInt32 code) {
  char c[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
  if (!((c[0] >= 'a' && c[0] <= 'z') || (c[0] >= 'A' && c[0] <= 'Z') || c[0] == '_'))
    return false;
  bool padding = false;
  for (int i = 1; i < 4; ++i) {
    bool ident = (c[i] >= 'a' && c[i] <= 'z') || (c[i] >= 'A' && c[i] <= 'Z') ||
                 (c[i] >= '0' && c[i] <= '9') || c[i] == '_';
    if (c[i] == ' ')
      padding = true;
    else if (!ident || padding)
      return false;
  }
  return true;
}

void AppendHexByte(std::string* out, UInt8 b) {
  static const char kHex[] = "0123456789ABCDEF";
  out->push_back(kHex[b >> 4]);
  out->push_back(kHex[b & 15]);
}

void AppendEscaped(std::string* out, UInt8 b, char quote) {
  if (b == UInt8(quote) || b == '\\') {
    out->push_back('\\');
    out->push_back(char(b));
  } else if (b == '\n') {
    out->append("\\n");
  } else if (b == '\r') {
    out->append("\\r");
  } else if (b == '\t') {
    out->append("\\t");
  } else if (b < 0x20 || b >= 0x7F) {
    out->append("\\x");
    AppendHexByte(out, b);
  } else {
    out->push_back(char(b));
  }
}

void AppendCode(std::string* out, UInt32 code) {
  if (IsBareCode(code)) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      char c = char(code >> shift);
      if (c != ' ') out->push_back(c);
    }
    return;
  }
  out->push_back('\'');
  for (int shift = 24; shift >= 0; shift -= 8) AppendEscaped(out, UInt8(code >> shift), '\'');
  out->push_back('\'');
}

void AppendText(std::string* out, const UInt8* bytes, size_t size) {
  out->push_back('"');
  for (size_t i = 0; i < size; ++i) AppendEscaped(out, bytes[i], '"');
  out->push_back('"');
}

void AppendHex(std::string* out, DescType type, const UInt8* bytes, size_t size) {
  AppendCode(out, type);
  if (size == 0) {
    out->append("()");
    return;
  }
  out->append("(\xC2\xAB");
  for (size_t i = 0; i < size; ++i) AppendHexByte(out, bytes[i]);
  out->append("\xC2\xBB)");
}

template <typename T>
T Load(const UInt8* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void Print(const Item& it, std::string* out, int depth);

void PrintKeyed(const std::vector<Item>& items, std::string* out, int depth, bool first = true) {
  for (const Item& item : items) {
    if (!first) out->append(", ");
    first = false;
    AppendCode(out, item.key);
    out->push_back(':');
    Print(item, out, depth + 1);
  }
}

// Unicode text prints as text when it converts to 'TEXT' and back unchanged.
bool PrintAsText(const Item& it, std::string* out) {
  Item text, back;
  bool ok = false;
  if (CoerceItem(it, typeChar, &text) == noErr && CoerceItem(text, it.type, &back) == noErr) {
    const DataNode* a = AsData(it.node);
    const DataNode* b = AsData(back.node);
    const DataNode* t = AsData(text.node);
    size_t as = a ? a->size : 0, bs = b ? b->size : 0;
    if (as == bs && (as == 0 || std::memcmp(a->bytes(), b->bytes(), as) == 0)) {
      AppendCode(out, it.type);
      out->push_back('(');
      AppendText(out, t ? t->bytes() : nullptr, t ? t->size : 0);
      out->push_back(')');
      ok = true;
    }
  }
  ReleaseItem(text);
  ReleaseItem(back);
  return ok;
}

void PrintData(const Item& it, const DataNode* d, std::string* out) {
  const UInt8* p = d ? d->bytes() : nullptr;
  size_t size = d ? d->size : 0;
  switch (it.type) {
    case typeNull:
      if (size == 0) {
        out->append("null()");
        return;
      }
      break;
    case typeSInt16:
      if (size == 2) {
        out->append(std::to_string(Load<SInt16>(p)));
        return;
      }
      break;
    case typeSInt32:
      if (size == 4) {
        SInt32 v = Load<SInt32>(p);
        if (v >= INT16_MIN && v <= INT16_MAX)
          out->append("'long'(" + std::to_string(v) + ")");
        else
          out->append(std::to_string(v));
        return;
      }
      break;
    case typeSInt64:
      if (size == 8) {
        out->append("'comp'(" + std::to_string(Load<SInt64>(p)) + ")");
        return;
      }
      break;
    case typeUInt32:
      if (size == 4) {
        out->append("'magn'(" + std::to_string(Load<UInt32>(p)) + ")");
        return;
      }
      break;
    case typeBoolean:
      if (size == 1 && p[0] <= 1) {
        out->append(p[0] ? "'bool'(1)" : "'bool'(0)");
        return;
      }
      break;
    case typeEnumerated:
      if (size == 4) {
        AppendCode(out, Load<UInt32>(p));
        return;
      }
      break;
    case typeType:
    case typeKeyword:
    case typeAbsoluteOrdinal:
      if (size == 4) {
        out->append(it.type == typeType ? "type(" : it.type == typeKeyword ? "'keyw'(" : "abso(");
        AppendCode(out, Load<UInt32>(p));
        out->push_back(')');
        return;
      }
      break;
    case typeChar:
      AppendText(out, p, size);
      return;
    case typeUnicodeText:
    case typeUTF8Text:
      if (PrintAsText(it, out)) return;
      break;
    default:
      break;
  }
  AppendHex(out, it.type, p, size);
}

void Print(const Item& it, std::string* out, int depth) {
  if (depth > kMaxPrintDepth) {
    out->append("...");
    return;
  }
  const Node* n = it.node;
  if (!n || n->kind == NodeKind::Data) {
    PrintData(it, AsData(n), out);
    return;
  }
  const auto* list = static_cast<const ListNode*>(n);
  switch (n->kind) {
    case NodeKind::List: {
      out->push_back('[');
      bool first = true;
      for (const Item& item : list->items) {
        if (!first) out->append(", ");
        first = false;
        Print(item, out, depth + 1);
      }
      out->push_back(']');
      return;
    }
    case NodeKind::Record:
      if (it.type != typeAERecord) {
        AppendCode(out, it.type);
        out->push_back(' ');
      }
      out->push_back('{');
      PrintKeyed(list->items, out, depth);
      out->push_back('}');
      return;
    case NodeKind::Event: {
      auto* e = static_cast<const EventNode*>(n);
      AppendCode(out, e->eventClass);
      out->push_back('\\');
      AppendCode(out, e->eventID);
      out->push_back('{');
      PrintKeyed(e->items, out, depth);
      // Attributes other than class and ID, marked with '&'.
      bool first = e->items.empty();
      for (const Item& a : e->attributes) {
        if (!first) out->append(", ");
        first = false;
        out->push_back('&');
        AppendCode(out, a.key);
        out->push_back(':');
        Print(a, out, depth + 1);
      }
      out->push_back('}');
      return;
    }
    case NodeKind::Data:
      return;
  }
}

}  // namespace

void PrintItem(const Item& it, std::string* out) { Print(it, out, 0); }

}  // namespace macplatform::ae

using namespace macplatform::ae;

OSStatus AEPrintDescToHandle(const AEDesc* desc, Handle* result) {
  if (!desc || !result) return paramErr;
  std::string text;
  PrintItem(Item{0, desc->descriptorType, NodeOf(desc)}, &text);
  Handle h = nullptr;
  OSErr err = PtrToHand(text.c_str(), &h, long(text.size() + 1));
  if (err != noErr) return err;
  *result = h;
  return noErr;
}
