// finderd against the requests clients send it: a finderd started in a
// private environment, talked to over Apple events like any client.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/RuntimeDir.h"
#include "platform/processes/tests/ProcessDouble.h"
#include "tools/finderd/FinderdProtocol.h"
#include "tools/finderd/tests/FinderdTestSupport.h"

namespace {

using finderd_test::AliasDescOfPath;
using finderd_test::Desc;
using finderd_test::PathOfAliasDesc;
using finderd_test::Print;
using finderd_test::ReplyError;
using finderd_test::RunningFinder;
using finderd_test::SendToFinder;

// Ordinals are four-character codes in the host's byte order, as
// AECreateDesc(typeAbsoluteOrdinal, &code, 4) makes them.
const DescType kAll = kAEAll;

const char kSelection[] = "'----':obj {form:prop,want:type(prop),seld:type(sele),from:null()}";

// The HFS path the Finder names an item by.
std::string HFS(const std::string& path, bool folder) {
  std::string hfs = "Macintosh HD" + path;
  std::replace(hfs.begin(), hfs.end(), '/', ':');
  return folder ? hfs + ":" : hfs;
}

// What an item specifier says: its class, key form, container type and name.
struct Spec {
  DescType want = 0;
  DescType form = 0;
  DescType from = 0;
  DescType nameType = 0;
  std::string name;
};

Spec ReadSpec(const AEDesc* spec) {
  Spec s;
  Desc record;
  if (AECoerceDesc(spec, typeAERecord, &record) != noErr) return s;
  DescType type;
  Size size;
  AEGetKeyPtr(record.get(), keyAEDesiredClass, typeType, &type, &s.want, 4, &size);
  AEGetKeyPtr(record.get(), keyAEKeyForm, typeEnumerated, &type, &s.form, 4, &size);
  AESizeOfKeyDesc(record.get(), keyAEContainer, &s.from, &size);
  AESizeOfKeyDesc(record.get(), keyAEKeyData, &s.nameType, &size);
  Desc name;
  if (AEGetKeyDesc(record.get(), keyAEKeyData, typeUTF8Text, &name) == noErr) {
    s.name.resize(size_t(AEGetDescDataSize(name.get())));
    AEGetDescData(name.get(), s.name.data(), Size(s.name.size()));
  }
  return s;
}

// The Finder's specifier of a path, made as a client would from a URL: class
// by kind, HFS path as the name, a folder's ending in a colon.
OSErr ClientSpecifier(const std::string& path, bool folder, DescType textType, AEDesc* spec) {
  std::string hfs = HFS(path, folder);
  AEDesc key = {typeNull, nullptr};
  OSErr err = AECoercePtr(typeUTF8Text, hfs.data(), Size(hfs.size()), textType, &key);
  if (err != noErr) return err;
  return CreateObjSpecifier(folder ? cFolder : cFile, nullptr, formName, &key, true, spec);
}

class Finderd : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = env_.root() + "/work";
    std::filesystem::create_directories(work_ + "/Folder");
    for (const char* name : {"a", "b", "c"}) tw::test::WriteFile(work_ + "/" + name, name);
    finder_ = std::make_unique<RunningFinder>();
    ASSERT_TRUE(finder_->ok()) << finder_->child().Stderr();
  }
  void TearDown() override {
    if (!finder_) return;
    if (finder_->child().running()) {
      EXPECT_EQ(finder_->Quit(), 0);
    }
    EXPECT_EQ(finder_->child().Stderr(), "");
  }

  const ProcessSerialNumber& psn() { return finder_->psn(); }

  // 'setd' of the selection to `data`; the handler's error.
  SInt32 Select(const AEDesc* data) {
    Desc reply;
    OSErr err = SendToFinder(psn(), kAECoreSuite, kAESetData, &reply, "'----':obj {form:prop,want:type(prop),"
                             "seld:type(sele),from:null()},data:@", data);
    return err != noErr ? err : ReplyError(reply.get());
  }
  SInt32 SelectPaths(const std::vector<std::string>& paths) {
    Desc list;
    AECreateList(nullptr, 0, false, &list);
    for (const std::string& p : paths) {
      Desc alias;
      if (AliasDescOfPath(p, &alias) != noErr) return fnfErr;
      AEPutDesc(&list, 0, alias.get());
    }
    return Select(list.get());
  }
  // The selection as the list of specifiers the Finder answers.
  SInt32 GetSelection(AEDesc* list) {
    Desc reply;
    OSErr err = SendToFinder(psn(), kAECoreSuite, kAEGetData, &reply,
                             "'----':obj {form:prop,want:type(prop),seld:type(sele),from:null()},rtyp:type(alis)");
    if (err != noErr) return err;
    if (SInt32 e = ReplyError(reply.get())) return e;
    return AEGetParamDesc(reply.get(), keyDirectObject, typeAEList, list);
  }
  // The paths of the selection, each through its own 'getd' with 'rtyp'
  // 'alis', as the agent reads it.
  std::vector<std::string> SelectedPaths() {
    std::vector<std::string> paths;
    Desc list;
    if (GetSelection(&list) != noErr) return {"<no selection>"};
    long count = 0;
    AECountItems(list.get(), &count);
    for (long i = 1; i <= count; ++i) {
      Desc spec, alias;
      AEKeyword key;
      AEGetNthDesc(list.get(), i, typeWildCard, &key, &spec);
      SInt32 err = AliasOf(spec.get(), &alias);
      paths.push_back(err == noErr ? PathOfAliasDesc(alias.get()) : "error " + std::to_string(err));
    }
    return paths;
  }
  SInt32 AliasOf(const AEDesc* spec, AEDesc* alias) {
    Desc reply;
    OSErr err = SendToFinder(psn(), kAECoreSuite, kAEGetData, &reply, "'----':@,rtyp:type(alis)", spec);
    if (err != noErr) return err;
    if (SInt32 e = ReplyError(reply.get())) return e;
    return AEGetParamDesc(reply.get(), keyDirectObject, typeAlias, alias);
  }

  tw::test::PrivateEnvironment env_;
  std::string work_;
  std::unique_ptr<RunningFinder> finder_;
};

TEST_F(Finderd, SelectionKeepsItsOrderAndNamesItemsByHFSPath) {
  const std::string a = work_ + "/a", c = work_ + "/c", folder = work_ + "/Folder";
  ASSERT_EQ(SelectPaths({c, folder, a}), 0);

  Desc list;
  ASSERT_EQ(GetSelection(&list), 0);
  long count = 0;
  ASSERT_EQ(AECountItems(list.get(), &count), noErr);
  ASSERT_EQ(count, 3);
  const struct {
    std::string path;
    bool folder;
  } expected[] = {{c, false}, {folder, true}, {a, false}};
  for (long i = 1; i <= count; ++i) {
    Desc spec;
    AEKeyword key;
    ASSERT_EQ(AEGetNthDesc(list.get(), i, typeWildCard, &key, &spec), noErr);
    EXPECT_EQ(spec.type(), typeObjectSpecifier);
    Spec s = ReadSpec(spec.get());
    const auto& e = expected[i - 1];
    EXPECT_EQ(s.want, e.folder ? DescType(cFolder) : DescType(cFile)) << Print(spec.get());
    EXPECT_EQ(s.form, DescType(formName));
    EXPECT_EQ(s.from, DescType(typeNull));
    EXPECT_EQ(s.nameType, DescType(typeUnicodeText));
    EXPECT_EQ(s.name, HFS(e.path, e.folder));
  }
  EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{c, folder, a}));

  // Named twice: kept once, at its first place.
  ASSERT_EQ(SelectPaths({a, c, a}), 0);
  EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{a, c}));

  // An empty list clears the selection; an empty selection is an empty list.
  Desc empty;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &empty), noErr);
  ASSERT_EQ(Select(empty.get()), 0);
  Desc none;
  ASSERT_EQ(GetSelection(&none), 0);
  ASSERT_EQ(AECountItems(none.get(), &count), noErr);
  EXPECT_EQ(count, 0);
}

TEST_F(Finderd, SetSelectionTakesEveryKindOfItemReference) {
  const std::string a = work_ + "/a", b = work_ + "/b", folder = work_ + "/Folder";
  struct Row {
    const char* what;
    std::function<OSErr(AEDesc*)> make;  // the 'data' of the request
    std::vector<std::string> selected;
  };
  auto listOf = [](std::vector<std::function<OSErr(AEDesc*)>> makers) {
    return [makers](AEDesc* list) {
      OSErr err = AECreateList(nullptr, 0, false, list);
      for (auto& make : makers) {
        Desc one;
        if (err == noErr) err = make(&one);
        if (err == noErr) err = AEPutDesc(list, 0, one.get());
      }
      return err;
    };
  };
  auto alias = [](std::string p) { return [p](AEDesc* d) { return AliasDescOfPath(p, d); }; };
  auto url = [](std::string p) {
    return [p](AEDesc* d) {
      std::string u = "file://" + p;
      return AECreateDesc(typeFileURL, u.data(), Size(u.size()), d);
    };
  };
  auto spec = [](std::string p, bool folder, DescType text) {
    return [=](AEDesc* d) { return ClientSpecifier(p, folder, text, d); };
  };
  auto aliasSpec = [](std::string p, DescType cls) {
    return [=](AEDesc* d) {
      Desc key;
      OSErr err = AliasDescOfPath(p, &key);
      if (err != noErr) return err;
      AEDesc k = key.d;
      key.d = {typeNull, nullptr};
      return CreateObjSpecifier(cls, nullptr, formAlias, &k, true, d);
    };
  };
  const Row rows[] = {
      {"aliases", listOf({alias(b), alias(folder), alias(a)}), {b, folder, a}},
      {"file URLs", listOf({url(a), url(folder + "/")}), {a, folder}},
      {"specifiers with utxt names", listOf({spec(folder, true, typeUnicodeText), spec(b, false, typeUnicodeText)}),
       {folder, b}},
      {"specifiers with TEXT names", listOf({spec(a, false, typeChar)}), {a}},
      {"alias-form specifiers", listOf({aliasSpec(folder, cFolder), aliasSpec(a, cFile)}), {folder, a}},
      {"one alias, not in a list", alias(b), {b}},
      {"one specifier, not in a list", spec(folder, true, typeUnicodeText), {folder}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Desc data;
    ASSERT_EQ(row.make(&data), noErr);
    EXPECT_EQ(Select(data.get()), 0) << Print(data.get());
    EXPECT_EQ(SelectedPaths(), row.selected);
  }
}

TEST_F(Finderd, RefusedSetSelectionLeavesItAsItWas) {
  const std::string a = work_ + "/a", gone = work_ + "/gone";
  tw::test::WriteFile(gone, "x");
  Desc goneAlias;
  ASSERT_EQ(AliasDescOfPath(gone, &goneAlias), noErr);
  ASSERT_EQ(::unlink(gone.c_str()), 0);
  ASSERT_EQ(SelectPaths({a}), 0);

  struct Row {
    const char* what;
    const char* format;
    const AEDesc* arg;
    SInt32 error;
  };
  Desc aliasOfA, both, nested, inner, number, fsref, badAlias, wrongClass, missingUrl;
  ASSERT_EQ(AliasDescOfPath(a, &aliasOfA), noErr);
  ASSERT_EQ(AECreateList(nullptr, 0, false, &both), noErr);
  AEPutDesc(&both, 0, aliasOfA.get());
  AEPutDesc(&both, 0, goneAlias.get());
  ASSERT_EQ(AECreateList(nullptr, 0, false, &inner), noErr);
  AEPutDesc(&inner, 0, aliasOfA.get());
  ASSERT_EQ(AECreateList(nullptr, 0, false, &nested), noErr);
  AEPutDesc(&nested, 0, inner.get());
  SInt32 five = 5;
  ASSERT_EQ(AECreateDesc(typeSInt32, &five, sizeof five, &number), noErr);
  // An FSRef names an item in the process that made it only.
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(a.c_str()), &ref, nullptr), noErr);
  ASSERT_EQ(AECreateDesc(typeFSRef, &ref, sizeof ref, &fsref), noErr);
  ASSERT_EQ(AECreateDesc(typeAlias, "not an alias", 12, &badAlias), noErr);
  ASSERT_EQ(ClientSpecifier(a, /*folder=*/true, typeUnicodeText, &wrongClass), noErr);
  ASSERT_EQ(AECreateDesc(typeFileURL, "file:///no/such/item", 20, &missingUrl), noErr);

  const std::string setd = "'----':obj {form:prop,want:type(prop),seld:type(sele),from:null()},";
  const Row rows[] = {
      {"a deleted item", "data:@", goneAlias.get(), fnfErr},
      {"a list with a deleted item", "data:@", both.get(), fnfErr},
      {"a file URL of nothing", "data:@", missingUrl.get(), fnfErr},
      {"a list in the list", "data:@", nested.get(), errAEWrongDataType},
      {"a number", "data:@", number.get(), errAEWrongDataType},
      {"another process's FSRef", "data:@", fsref.get(), 0},
      {"a malformed alias", "data:@", badAlias.get(), errAECoercionFail},
      {"a file named as a folder", "data:@", wrongClass.get(), errAENoSuchObject},
      {"no data", "", nullptr, errAEDescNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Desc reply;
    std::string format = setd + row.format;
    if (!row.format[0]) format.pop_back();
    ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAESetData, &reply, format.c_str(), row.arg), noErr);
    if (row.error != 0)
      EXPECT_EQ(ReplyError(reply.get()), row.error);
    else
      EXPECT_NE(ReplyError(reply.get()), 0);
    EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{a}));
  }
}

TEST_F(Finderd, ItemDeletedAfterSelectionHasNoAlias) {
  const std::string a = work_ + "/a", b = work_ + "/b";
  ASSERT_EQ(SelectPaths({a, b}), 0);
  Desc list;
  ASSERT_EQ(GetSelection(&list), 0);
  ASSERT_EQ(::unlink(b.c_str()), 0);

  Desc specA, specB, aliasA, aliasB;
  AEKeyword key;
  ASSERT_EQ(AEGetNthDesc(list.get(), 1, typeWildCard, &key, &specA), noErr);
  ASSERT_EQ(AEGetNthDesc(list.get(), 2, typeWildCard, &key, &specB), noErr);
  EXPECT_EQ(AliasOf(specB.get(), &aliasB), fnfErr);
  ASSERT_EQ(AliasOf(specA.get(), &aliasA), noErr);
  EXPECT_EQ(PathOfAliasDesc(aliasA.get()), a);
  // The selection is kept as it was set: the deleted item is still listed.
  EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{a, "error -43"}));
}

TEST_F(Finderd, DesktopItemsAreListedByName) {
  for (const char* name : {"b.txt", "C", "a"}) tw::test::WriteFile(env_.desktop() + "/" + name, "x");
  std::filesystem::create_directories(env_.desktop() + "/Projects");
  tw::test::WriteFile(env_.desktop() + "/.hidden", "x");
  ::symlink("/no/such/target", (env_.desktop() + "/dangling").c_str());

  Desc reply;
  ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAEGetData, &reply,
                         "'----':obj {want:type(cobj),form:indx,seld:abso(@),"
                         "from:obj {form:prop,want:type(prop),seld:type(desk),from:null()}},rtyp:type(alis)",
                         &kAll, Size(sizeof kAll)),
            noErr);
  ASSERT_EQ(ReplyError(reply.get()), 0);
  Desc list;
  ASSERT_EQ(AEGetParamDesc(reply.get(), keyDirectObject, typeAEList, &list), noErr);
  std::vector<std::string> names;
  long count = 0;
  AECountItems(list.get(), &count);
  for (long i = 1; i <= count; ++i) {
    Desc spec;
    AEKeyword key;
    AEGetNthDesc(list.get(), i, typeWildCard, &key, &spec);
    EXPECT_EQ(spec.type(), typeObjectSpecifier);
    names.push_back(ReadSpec(spec.get()).name);
  }
  const std::string d = env_.desktop();
  EXPECT_EQ(names, (std::vector<std::string>{HFS(d + "/C", false), HFS(d + "/Projects", true), HFS(d + "/a", false),
                                             HFS(d + "/b.txt", false)}));

  // The desktop itself, and its items by kind and by name.
  Desc desk, folders, byName;
  ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAEGetData, &desk,
                         "'----':obj {form:prop,want:type(prop),seld:type(desk),from:null()}"),
            noErr);
  Desc deskSpec;
  ASSERT_EQ(AEGetParamDesc(desk.get(), keyDirectObject, typeObjectSpecifier, &deskSpec), noErr);
  EXPECT_EQ(ReadSpec(deskSpec.get()).name, HFS(d, true));
  ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAEGetData, &folders,
                         "'----':obj {want:type(cfol),form:indx,seld:abso(@),"
                         "from:obj {form:prop,want:type(prop),seld:type(desk),from:null()}}",
                         &kAll, Size(sizeof kAll)),
            noErr);
  Desc folderList;
  ASSERT_EQ(AEGetParamDesc(folders.get(), keyDirectObject, typeAEList, &folderList), noErr);
  AECountItems(folderList.get(), &count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAEGetData, &byName,
                         "'----':obj {want:type(file),form:name,seld:\"b.txt\","
                         "from:obj {form:prop,want:type(prop),seld:type(desk),from:null()}},rtyp:type(alis)"),
            noErr);
  Desc alias;
  ASSERT_EQ(AEGetParamDesc(byName.get(), keyDirectObject, typeAlias, &alias), noErr);
  EXPECT_EQ(PathOfAliasDesc(alias.get()), d + "/b.txt");
}

TEST_F(Finderd, AliasBecomesTheFinderSpecifier) {
  struct Row {
    std::string path;
    DescType cls;
    bool folder;
  };
  const Row rows[] = {{work_ + "/a", cFile, false}, {work_ + "/Folder", cFolder, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    FSRef ref;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(row.path.c_str()), &ref, nullptr), noErr);
    AliasHandle alias = nullptr;
    ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
    // The event exactly as a client builds it from the format string,
    // addressed by signature.
    AppleEvent event = {typeNull, nullptr};
    AEBuildError error;
    OSType sign = 'MACS';
    ASSERT_EQ(AEBuildAppleEvent(kAECoreSuite, kAEGetData, typeApplSignature, &sign, sizeof sign,
                                kAutoGenerateReturnID, kAnyTransactionID, &event, &error,
                                "'----':obj {form:alis,want:type(@),seld:'alis'(@@),from:null()}", row.cls, alias),
              noErr);
    Desc reply, spec;
    ASSERT_EQ(AESend(&event, &reply.d, kAEWaitReply, kAENormalPriority, 30 * 60, nullptr, nullptr), noErr);
    AEDisposeDesc(&event);
    ASSERT_EQ(ReplyError(reply.get()), 0);
    ASSERT_EQ(AEGetParamDesc(reply.get(), keyDirectObject, typeObjectSpecifier, &spec), noErr);
    Spec s = ReadSpec(spec.get());
    EXPECT_EQ(s.want, row.cls);
    EXPECT_EQ(s.name, HFS(row.path, row.folder));
    // That specifier names the item again.
    Desc again;
    ASSERT_EQ(AliasOf(spec.get(), &again), noErr);
    EXPECT_EQ(PathOfAliasDesc(again.get()), row.path);

    // Asked as the other class, there is no such item.
    DescType other = row.cls == cFile ? DescType(cFolder) : DescType(cFile);
    Desc wrong;
    ASSERT_EQ(SendToFinder(psn(), kAECoreSuite, kAEGetData, &wrong,
                           "'----':obj {form:alis,want:type(@),seld:'alis'(@@),from:null()}", other, alias),
              noErr);
    EXPECT_EQ(ReplyError(wrong.get()), errAENoSuchObject);
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
}

TEST_F(Finderd, UnknownAndMalformedRequestsGetErrorReplies) {
  struct Row {
    const char* what;
    AEEventClass cls;
    AEEventID id;
    const char* format;
    SInt32 error;
  };
  const Row rows[] = {
      {"an unknown event", 'blah', 'blah', "", errAEEventNotHandled},
      {"an operation not offered", kAECoreSuite, kAEClone, "'----':1", errAEEventNotHandled},
      {"getd without a direct object", kAECoreSuite, kAEGetData, "rtyp:type(alis)", errAEDescNotFound},
      {"getd of text", kAECoreSuite, kAEGetData, "'----':\"Macintosh HD:tmp\"", errAENotAnObjSpec},
      {"getd of a specifier without a class", kAECoreSuite, kAEGetData, "'----':obj {form:name,seld:\"x\"}",
       errAENotAnObjSpec},
      {"getd of an unknown property", kAECoreSuite, kAEGetData,
       "'----':obj {form:prop,want:type(prop),seld:type(zzzz),from:null()}", errAENoSuchObject},
      {"getd of an unknown class", kAECoreSuite, kAEGetData,
       "'----':obj {form:name,want:type(zzzz),seld:\"Macintosh HD:\",from:null()}", errAEAccessorNotFound},
      {"getd by an unknown key form", kAECoreSuite, kAEGetData,
       "'----':obj {form:test,want:type(file),seld:\"x\",from:null()}", errAEBadKeyForm},
      {"getd of an item on another volume", kAECoreSuite, kAEGetData,
       "'----':obj {form:name,want:type(file),seld:\"Other Disk:x\",from:null()},rtyp:type(alis)", nsvErr},
      {"getd of a missing item", kAECoreSuite, kAEGetData,
       "'----':obj {form:name,want:type(file),seld:\"Macintosh HD:no:such:item\",from:null()},rtyp:type(alis)",
       fnfErr},
      {"getd of item 99 of the desktop", kAECoreSuite, kAEGetData,
       "'----':obj {want:type(cobj),form:indx,seld:99,from:obj {form:prop,want:type(prop),seld:type(desk),"
       "from:null()}}",
       errAENoSuchObject},
      {"getd with an alias key of the wrong type", kAECoreSuite, kAEGetData,
       "'----':obj {form:alis,want:type(file),seld:42,from:null()}", errAEWrongDataType},
      {"setd of the desktop", kAECoreSuite, kAESetData,
       "'----':obj {form:prop,want:type(prop),seld:type(desk),from:null()},data:[]", errAENotModifiable},
      {"setd without a direct object", kAECoreSuite, kAESetData, "data:[]", errAEDescNotFound},
      {"fupd without a direct object", 'fndr', 'fupd', "", errAEDescNotFound},
      {"fupd of a number", 'fndr', 'fupd', "'----':7", errAEWrongDataType},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Desc reply;
    ASSERT_EQ(SendToFinder(psn(), row.cls, row.id, &reply, row.format), noErr);
    EXPECT_EQ(ReplyError(reply.get()), row.error) << Print(reply.get());
  }
  // Still answering.
  Desc list;
  EXPECT_EQ(GetSelection(&list), 0);
}

TEST_F(Finderd, UpdateRequestsAreLoggedBoundedAndCleared) {
  const std::string a = work_ + "/a", b = work_ + "/b";
  auto sendUpdate = [&](const std::string& path) {
    Desc alias;
    ASSERT_EQ(AliasDescOfPath(path, &alias), noErr);
    AppleEvent event = {typeNull, nullptr};
    AEBuildError error;
    ASSERT_EQ(AEBuildAppleEvent('fndr', 'fupd', typeProcessSerialNumber, &psn(), sizeof(ProcessSerialNumber),
                                kAutoGenerateReturnID, kAnyTransactionID, &event, &error, "'----':@", alias.get()),
              noErr);
    // As the toolkit sends it: without waiting for a reply.
    EXPECT_EQ(AESend(&event, nullptr, kAENoReply, kAENormalPriority, 30 * 60, nullptr, nullptr), noErr);
    AEDisposeDesc(&event);
  };
  auto updates = [&] {
    std::vector<std::string> paths;
    Desc reply, list;
    if (SendToFinder(psn(), finderd::kFinderdSuite, finderd::kFinderdListUpdates, &reply, "") != noErr ||
        AEGetParamDesc(reply.get(), keyDirectObject, typeAEList, &list) != noErr)
      return std::vector<std::string>{"<no log>"};
    long count = 0;
    AECountItems(list.get(), &count);
    for (long i = 1; i <= count; ++i) {
      char path[4096];
      DescType type;
      Size size = 0;
      AEKeyword key;
      AEGetNthPtr(list.get(), i, typeUTF8Text, &key, &type, path, sizeof path, &size);
      paths.emplace_back(path, size_t(std::min<Size>(size, sizeof path)));
    }
    return paths;
  };

  EXPECT_EQ(updates(), std::vector<std::string>{});
  sendUpdate(a);
  sendUpdate(b);
  sendUpdate(a);
  EXPECT_EQ(updates(), (std::vector<std::string>{a, b, a}));

  Desc cleared;
  ASSERT_EQ(SendToFinder(psn(), finderd::kFinderdSuite, finderd::kFinderdClearUpdates, &cleared, ""), noErr);
  EXPECT_EQ(ReplyError(cleared.get()), 0);
  EXPECT_EQ(updates(), std::vector<std::string>{});

  // The log keeps the newest entries: after limit + 2 requests, the first two
  // are gone.
  sendUpdate(a);
  sendUpdate(a);
  for (unsigned i = 0; i < finderd::kUpdateLogLimit; ++i) sendUpdate(b);
  std::vector<std::string> log = updates();
  ASSERT_EQ(log.size(), size_t(finderd::kUpdateLogLimit));
  EXPECT_TRUE(std::all_of(log.begin(), log.end(), [&](const std::string& p) { return p == b; }));
}

TEST_F(Finderd, HalfAFrameFromOneClientDoesNotStopTheOthers) {
  std::string dir;
  ASSERT_EQ(macplatform::RuntimeSubdir("ae", &dir), noErr);
  const std::string socketPath = dir + "/" + std::to_string(finder_->child().pid());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  // The start of a frame that wants a reply: a header (magic, kind, request
  // number, sender, payload length) announcing 1000 bytes, and 10 of them.
  const UInt32 header[5] = {'AEfr', 2, 1, 0, 1000};
  unsigned char half[sizeof header + 10] = {};
  std::memcpy(half, header, sizeof header);
  ASSERT_EQ(::send(fd, half, sizeof half, MSG_NOSIGNAL), ssize_t(sizeof half));

  ASSERT_EQ(SelectPaths({work_ + "/a"}), 0);
  EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{work_ + "/a"}));
  ::close(fd);
  EXPECT_EQ(SelectedPaths(), (std::vector<std::string>{work_ + "/a"}));
}

TEST_F(Finderd, QuitRepliesThenExitsZero) {
  Desc reply;
  ASSERT_EQ(SendToFinder(psn(), kCoreEventClass, kAEQuitApplication, &reply, ""), noErr);
  EXPECT_EQ(ReplyError(reply.get()), 0);
  EXPECT_EQ(finder_->child().Wait(), 0);
}

// Starting and refusing: no Finder is started by the fixture here.
class FinderdStart : public ::testing::Test {
 protected:
  tw::test::PrivateEnvironment env_;
};

UInt32 FrontSerial() {
  ProcessSerialNumber psn = {0, 0};
  return GetFrontProcess(&psn) == noErr ? psn.lowLongOfPSN : 0;
}

TEST_F(FinderdStart, ASecondFinderIsRefused) {
  RunningFinder first;
  ASSERT_TRUE(first.ok()) << first.child().Stderr();
  std::string out, err;
  EXPECT_EQ(tw::test::Run({"finderd"}, &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "finderd: a Finder is already running\n");
  // The refused one never joined the process list.
  std::vector<macplatform::processes::Entry> entries;
  ASSERT_EQ(macplatform::processes::List(&entries), noErr);
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.creator == 'MACS'; }), 1);
  EXPECT_EQ(first.Quit(), 0);

  // Once the first has gone, a new one starts.
  RunningFinder second;
  EXPECT_TRUE(second.ok()) << second.child().Stderr();
}

TEST_F(FinderdStart, BecomesFrontUnlessAnotherProcessIs) {
  {
    RunningFinder finder;
    ASSERT_TRUE(finder.ok());
    EXPECT_TRUE(tw::test::WaitFor([&] { return FrontSerial() == finder.psn().lowLongOfPSN; }));
  }
  tw::test::ProcessDouble editor("Text Editor", 'APPL', 'ttxt', 0, /*front=*/true);
  ASSERT_TRUE(editor.ok());
  RunningFinder finder;
  ASSERT_TRUE(finder.ok());
  // Once it answers, it has passed the point where it would have come front.
  Desc reply;
  ASSERT_EQ(SendToFinder(finder.psn(), kAECoreSuite, kAEGetData, &reply, kSelection), noErr);
  EXPECT_EQ(FrontSerial(), editor.psn().lowLongOfPSN);
}

}  // namespace
