// Finder requests against the in-process Finder double: this test process
// takes the Finder's identity, so requests addressed to the Finder are
// dispatched to the double's handler, which checks the exact event and
// answers as each case needs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "aekit/MoreAEObjects.h"
#include "aekit/MoreAppleEvents.h"
#include "finderkit/MoreFinderEvents.h"
#include "finderkit/tests/FinderDouble.h"
#include "testing/ProgramEnvironment.h"
#include "testing/TestSupport.h"

namespace fd = tw::finderdouble;

namespace {

// The Finder double lives in this process for the whole program.
class Environment : public tw::test::ProgramEnvironment {
 public:
  void SetUp() override {
    ProgramEnvironment::SetUp();
    fd::Install();
  }
  void TearDown() override {
    fd::Reset();
    ProgramEnvironment::TearDown();
  }
};
[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new Environment);

Boolean Idle(EventRecord*, SInt32* sleep, RgnHandle* rgn) {
  return MoreAESimpleIdleFunction(nullptr, sleep, rgn);
}
const AEIdleUPP kIdle = Idle;

const fd::Expectation kGetAlias = {kAECoreSuite, kAEGetData,
                                   {{keyDirectObject, typeObjectSpecifier}, {keyAERequestedType, typeType}}};

std::string ParamBytes(const AppleEvent* event, AEKeyword key, DescType* type = nullptr) {
  AEDesc d;
  MoreAENullDesc(&d);
  if (AEGetParamDesc(event, key, typeWildCard, &d) != noErr) return "<absent>";
  if (type) *type = d.descriptorType;
  std::string bytes(size_t(AEGetDescDataSize(&d)), '\0');
  if (!bytes.empty()) AEGetDescData(&d, bytes.data(), Size(bytes.size()));
  MoreAEDisposeDesc(&d);
  return bytes;
}

std::string Code(FourCharCode c) { return std::string(reinterpret_cast<const char*>(&c), 4); }

fd::Specifier DirectSpecifier(const AppleEvent* event) {
  AEDesc d;
  MoreAENullDesc(&d);
  fd::Specifier s;
  EXPECT_EQ(AEGetParamDesc(event, keyDirectObject, typeWildCard, &d), noErr);
  EXPECT_TRUE(fd::ReadSpecifier(&d, &s));
  MoreAEDisposeDesc(&d);
  return s;
}

OSErr ReplyItems(AppleEvent* reply, int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("Macintosh HD:item" + std::to_string(i));
  AEDescList list;
  MoreAENullDesc(&list);
  OSErr err = fd::MakeItemList(names, &list);
  if (err == noErr) err = fd::PutDirectObject(reply, &list);
  MoreAEDisposeDesc(&list);
  return err;
}

class Finder : public ::testing::Test {
 protected:
  void SetUp() override {
    fd::Reset();
    file_ = scratch_ / "label me.txt";
    folder_ = scratch_ / "Folder";
    tw::test::WriteFile(file_, "x");
    ::mkdir(folder_.c_str(), 0700);
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(file_.c_str()), &fileRef_, nullptr), noErr);
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(folder_.c_str()), &folderRef_, nullptr), noErr);
  }
  void TearDown() override {
    EXPECT_EQ(fd::Failures(), "");
    fd::Reset();
  }
  // An object specifier such as the Finder hands out for a selected item.
  void MakeItemSpecifier(AEDesc* spec) {
    AEDesc container;
    MoreAENullDesc(&container);
    const Str255 name = {5, 'i', 't', 'e', 'm', '0'};
    ASSERT_EQ(MoreAEOCreateObjSpecifierFormName(cFile, &container, name, false, spec), noErr);
  }
  std::string PathOfAlias(AliasHandle alias) {
    FSRef ref;
    Boolean changed;
    if (FSResolveAlias(nullptr, alias, &ref, &changed) != noErr) return "<unresolved>";
    char path[2048];
    FSRefMakePath(&ref, reinterpret_cast<UInt8*>(path), sizeof(path));
    return path;
  }
  tw::test::ScratchDir scratch_;
  std::string file_, folder_;
  FSRef fileRef_, folderRef_;
};

}  // namespace

// ---------------------------------------------------------------------------
// The selection.

TEST_F(Finder, SelectionRequestIsExactAndReturnsTheList) {
  fd::Expect(kGetAlias);
  fd::SetResponder([](const AppleEvent*, AppleEvent* reply) { return ReplyItems(reply, 2); });
  AEDescList selection;
  selection.descriptorType = 'junk';  // not released: overwritten with null first
  selection.dataHandle = nullptr;
  ASSERT_EQ(MoreFEGetSelection(kIdle, &selection), noErr);
  ASSERT_EQ(fd::EventCount(), 1);
  fd::Specifier s = DirectSpecifier(fd::Event(0));
  EXPECT_EQ(s.desiredClass, DescType(cProperty));
  EXPECT_EQ(s.keyForm, DescType(formPropertyID));
  EXPECT_EQ(s.keyType, DescType(typeType));
  EXPECT_EQ(s.keyBytes, Code('sele'));
  EXPECT_EQ(s.containerType, DescType(typeNull));
  EXPECT_EQ(ParamBytes(fd::Event(0), keyAERequestedType), Code('alis'));
  EXPECT_EQ(selection.descriptorType, DescType(typeAEList));
  long count = 0;
  EXPECT_EQ(AECountItems(&selection, &count), noErr);
  EXPECT_EQ(count, 2);
  MoreAEDisposeDesc(&selection);
}

// How the Finder's answer turns into the result and the caller's list.
TEST_F(Finder, SelectionReplyTable) {
  struct Row {
    const char* what;
    fd::Responder answer;
    OSErr result;
    long items;  // -1: the out list stays the null descriptor
  };
  const Row rows[] = {
      {"handler error", [](const AppleEvent*, AppleEvent* r) { ReplyItems(r, 2); return OSErr(-1728); }, -1728, -1},
      {"no direct object", [](const AppleEvent*, AppleEvent*) { return OSErr(noErr); }, errAEDescNotFound, -1},
      {"single item", [](const AppleEvent*, AppleEvent* r) {
         AEDescList l; MoreAENullDesc(&l); fd::MakeItemList({"Macintosh HD:one"}, &l);
         AEDesc item; MoreAENullDesc(&item); AEKeyword k;
         AEGetNthDesc(&l, 1, typeWildCard, &k, &item);
         OSErr e = fd::PutDirectObject(r, &item);
         MoreAEDisposeDesc(&item); MoreAEDisposeDesc(&l); return e; }, noErr, 1},
      {"empty list", [](const AppleEvent*, AppleEvent* r) { return ReplyItems(r, 0); }, noErr, 0},
      {"null reply", [](const AppleEvent*, AppleEvent* r) { AEDisposeDesc(r); return OSErr(noErr); }, noErr, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fd::Reset();
    fd::Expect(kGetAlias);
    fd::SetResponder(row.answer);
    AEDescList selection;
    MoreAENullDesc(&selection);
    EXPECT_EQ(MoreFEGetSelection(kIdle, &selection), row.result);
    EXPECT_EQ(fd::EventCount(), 1);
    if (row.items < 0) {
      EXPECT_EQ(selection.descriptorType, DescType(typeNull));
    } else {
      long count = -1;
      EXPECT_EQ(AECountItems(&selection, &count), noErr);
      EXPECT_EQ(count, row.items);
    }
    MoreAEDisposeDesc(&selection);
    EXPECT_EQ(fd::Failures(), "");
  }
}

TEST_F(Finder, MissingArgumentsAreRefusedBeforeSending) {
  AEDescList list;
  list.descriptorType = 'sent';
  list.dataHandle = nullptr;
  AEDesc spec;
  MoreAENullDesc(&spec);
  MakeItemSpecifier(&spec);
  AliasHandle alias = reinterpret_cast<AliasHandle>(0x1);
  AliasHandle realAlias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &fileRef_, &realAlias), noErr);
  AEDesc aliasDesc;
  MoreAENullDesc(&aliasDesc);
  ASSERT_EQ(MoreAEOCreateAliasDesc(realAlias, &aliasDesc), noErr);
  FSSpec fsspec;
  ASSERT_EQ(FSGetCatalogInfo(&fileRef_, kFSCatInfoNone, nullptr, nullptr, &fsspec, nullptr), noErr);
  AEDesc out;
  MoreAENullDesc(&out);

  const std::function<OSErr()> calls[] = {
      [&] { return MoreFEGetSelection(nullptr, &list); },
      [&] { return MoreFEGetSelection(kIdle, nullptr); },
      [&] { return MoreFEGetEveryItemOnDesktop(nullptr, &list); },
      [&] { return MoreFEGetEveryItemOnDesktop(kIdle, nullptr); },
      [&] { return MoreFEGetObjectAsAlias(nullptr, &alias, kIdle); },
      [&] { return MoreFEGetObjectAsAlias(&spec, nullptr, kIdle); },
      [&] { return MoreFEGetObjectAsAlias(&spec, &alias, nullptr); },
      [&] { return MoreFEGetObjectAsAlias(&aliasDesc, &alias, kIdle); },  // 'alis', not 'obj '
      [&] { return MoreFEGetAliasAsObject(nullptr, &out, kIdle); },
      [&] { return MoreFEGetAliasAsObject(realAlias, nullptr, kIdle); },
      [&] { return MoreFEGetAliasAsObject(realAlias, &out, nullptr); },
      [&] { return MoreFEGetFSSpecAsObject(nullptr, &out, kIdle); },
      [&] { return MoreFEGetFSSpecAsObject(&fsspec, &out, nullptr); },
      [&] { return MoreFEUpdateItemFSRef(nullptr); },
      [&] { return MoreFEUpdateItemFSS(nullptr); },
      [&] { return MoreFEUpdateItemAlias(nullptr); },
  };
  int i = 0;
  for (const auto& call : calls) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(call(), paramErr);
  }
  EXPECT_EQ(fd::EventCount(), 0);
  EXPECT_EQ(list.descriptorType, DescType('sent'));
  EXPECT_EQ(alias, reinterpret_cast<AliasHandle>(0x1));
  EXPECT_EQ(out.descriptorType, DescType(typeNull));
  MoreAEDisposeDesc(&spec);
  MoreAEDisposeDesc(&aliasDesc);
  DisposeHandle(reinterpret_cast<Handle>(realAlias));
}

// ---------------------------------------------------------------------------
// Object specifier to alias record.

TEST_F(Finder, ObjectAsAliasSendsTheSpecifierAndCopiesTheAlias) {
  AEDesc spec;
  MoreAENullDesc(&spec);
  MakeItemSpecifier(&spec);
  const std::string path = file_;
  fd::Expect(kGetAlias);
  fd::SetResponder([&](const AppleEvent*, AppleEvent* reply) {
    AEDesc alias;
    MoreAENullDesc(&alias);
    OSErr err = fd::MakeAliasDesc(path, &alias);
    if (err == noErr) err = fd::PutDirectObject(reply, &alias);
    MoreAEDisposeDesc(&alias);
    return err;
  });
  AliasHandle alias = nullptr;
  ASSERT_EQ(MoreFEGetObjectAsAlias(&spec, &alias, kIdle), noErr);
  ASSERT_NE(alias, nullptr);
  EXPECT_EQ(PathOfAlias(alias), file_);
  ASSERT_EQ(fd::EventCount(), 1);
  AEDesc sent;
  MoreAENullDesc(&sent);
  ASSERT_EQ(AEGetParamDesc(fd::Event(0), keyDirectObject, typeWildCard, &sent), noErr);
  EXPECT_EQ(fd::Print(&sent), fd::Print(&spec));
  EXPECT_EQ(ParamBytes(fd::Event(0), keyAERequestedType), Code('alis'));
  MoreAEDisposeDesc(&sent);
  MoreAEDisposeDesc(&spec);
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

TEST_F(Finder, ObjectAsAliasReplyTable) {
  struct Row {
    const char* what;
    fd::Responder answer;
    OSErr result;
    bool handleMade;
  };
  const Row rows[] = {
      {"handler error", [](const AppleEvent*, AppleEvent*) { return OSErr(-1728); }, -1728, false},
      {"no direct object", [](const AppleEvent*, AppleEvent*) { return OSErr(noErr); }, errAEDescNotFound, false},
      {"a list where an alias is wanted", [](const AppleEvent*, AppleEvent* r) { ReplyItems(r, 2); return OSErr(noErr); },
       errAECoercionFail, false},
      // The copy's handle cannot be allocated: memFullErr, and the caller's
      // handle is set to NULL by the copy.
      {"out of memory", [&](const AppleEvent*, AppleEvent* r) {
         AEDesc a; MoreAENullDesc(&a);
         OSErr e = fd::MakeAliasDesc(file_, &a);
         if (e == noErr) e = fd::PutDirectObject(r, &a);
         MoreAEDisposeDesc(&a);
         MacMemoryFailAllocations(0, 1);
         return e; }, memFullErr, true},
  };
  AEDesc spec;
  MoreAENullDesc(&spec);
  MakeItemSpecifier(&spec);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fd::Reset();
    fd::Expect(kGetAlias);
    fd::SetResponder(row.answer);
    AliasHandle alias = reinterpret_cast<AliasHandle>(0x1);
    const OSErr err = MoreFEGetObjectAsAlias(&spec, &alias, kIdle);
    MacMemoryFailAllocations(0, 0);
    EXPECT_EQ(err, row.result);
    if (row.handleMade) {
      EXPECT_EQ(alias, nullptr);
    } else {
      EXPECT_EQ(alias, reinterpret_cast<AliasHandle>(0x1));
    }
    EXPECT_EQ(fd::EventCount(), 1);
  }
  MoreAEDisposeDesc(&spec);
}

// A null reply brings no alias bytes: the caller gets an empty handle.
TEST_F(Finder, ObjectAsAliasNullReplyGivesEmptyHandle) {
  AEDesc spec;
  MoreAENullDesc(&spec);
  MakeItemSpecifier(&spec);
  fd::SetResponder([](const AppleEvent*, AppleEvent* r) { AEDisposeDesc(r); return OSErr(noErr); });
  AliasHandle alias = nullptr;
  const OSErr err = MoreFEGetObjectAsAlias(&spec, &alias, kIdle);
  if (alias != nullptr) {
    EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(alias)), 0);
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
  EXPECT_EQ(err, noErr);
  MoreAEDisposeDesc(&spec);
}

// ---------------------------------------------------------------------------
// Updating items: sent without a reply.

TEST_F(Finder, UpdateSendsTheAliasWithoutWaiting) {
  FSSpec fsspec;
  ASSERT_EQ(FSGetCatalogInfo(&fileRef_, kFSCatInfoNone, nullptr, nullptr, &fsspec, nullptr), noErr);
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &folderRef_, &alias), noErr);
  struct Row {
    const char* what;
    std::function<OSErr()> call;
    std::string path;
  };
  const Row rows[] = {
      {"FSRef", [&] { return MoreFEUpdateItemFSRef(&fileRef_); }, file_},
      {"FSSpec", [&] { return MoreFEUpdateItemFSS(&fsspec); }, file_},
      {"alias", [&] { return MoreFEUpdateItemAlias(alias); }, folder_},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fd::Reset();
    fd::Expect({kMoreFEFinderSuite, kMoreFEUpdateEvent, {{keyDirectObject, typeAlias}}});
    // The Finder's own failure is not awaited, so it does not show.
    fd::SetResponder([](const AppleEvent*, AppleEvent*) { return OSErr(-5000); });
    EXPECT_EQ(row.call(), noErr);
    ASSERT_TRUE(tw::test::WaitFor([] { return fd::EventCount() == 1; }));
    DescType type = 0;
    std::string bytes = ParamBytes(fd::Event(0), keyDirectObject, &type);
    Handle h = NewHandle(Size(bytes.size()));
    std::memcpy(*h, bytes.data(), bytes.size());
    EXPECT_EQ(PathOfAlias(reinterpret_cast<AliasHandle>(h)), row.path);
    DisposeHandle(h);
    EXPECT_EQ(fd::Failures(), "");
  }
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

// ---------------------------------------------------------------------------
// Emptying the selection and the desktop's items.

TEST_F(Finder, SetSelectionToNone) {
  const fd::Expectation setd = {kAECoreSuite, kAESetData,
                                {{keyDirectObject, typeObjectSpecifier}, {keyAEData, typeAEList}}};
  fd::Expect(setd);
  fd::SetResponder([](const AppleEvent*, AppleEvent*) { return OSErr(-10006); });
  EXPECT_EQ(MoreFESetSelectionToNone(nullptr), noErr);  // no reply: the error is not seen
  ASSERT_TRUE(tw::test::WaitFor([] { return fd::EventCount() == 1; }));
  EXPECT_EQ(MoreFESetSelectionToNone(kIdle), -10006);  // waited for
  ASSERT_EQ(fd::EventCount(), 2);
  fd::Specifier s = DirectSpecifier(fd::Event(1));
  EXPECT_EQ(s.keyBytes, Code('sele'));
  AEDesc data;
  MoreAENullDesc(&data);
  ASSERT_EQ(AEGetParamDesc(fd::Event(1), keyAEData, typeWildCard, &data), noErr);
  long count = -1;
  EXPECT_EQ(AECountItems(&data, &count), noErr);
  EXPECT_EQ(count, 0);
  MoreAEDisposeDesc(&data);
}

TEST_F(Finder, EveryItemOnDesktop) {
  fd::Expect(kGetAlias);
  fd::SetResponder([](const AppleEvent*, AppleEvent* reply) { return ReplyItems(reply, 3); });
  AEDescList items;
  MoreAENullDesc(&items);
  ASSERT_EQ(MoreFEGetEveryItemOnDesktop(kIdle, &items), noErr);
  long count = 0;
  EXPECT_EQ(AECountItems(&items, &count), noErr);
  EXPECT_EQ(count, 3);
  MoreAEDisposeDesc(&items);
  ASSERT_EQ(fd::EventCount(), 1);
  AEDesc direct, desk;
  MoreAENullDesc(&direct);
  MoreAENullDesc(&desk);
  ASSERT_EQ(AEGetParamDesc(fd::Event(0), keyDirectObject, typeWildCard, &direct), noErr);
  fd::Specifier every;
  ASSERT_TRUE(fd::ReadSpecifier(&direct, &every));
  EXPECT_EQ(every.desiredClass, DescType(cObject));
  EXPECT_EQ(every.keyForm, DescType(formAbsolutePosition));
  EXPECT_EQ(every.keyType, DescType(typeAbsoluteOrdinal));
  EXPECT_EQ(every.keyBytes, Code(kAEAll));
  ASSERT_EQ(AEGetKeyDesc(&direct, keyAEContainer, typeWildCard, &desk), noErr);
  fd::Specifier container;
  ASSERT_TRUE(fd::ReadSpecifier(&desk, &container));
  EXPECT_EQ(container.keyForm, DescType(formPropertyID));
  EXPECT_EQ(container.keyBytes, Code('desk'));
  EXPECT_EQ(container.containerType, DescType(typeNull));
  MoreAEDisposeDesc(&direct);
  MoreAEDisposeDesc(&desk);
}

// ---------------------------------------------------------------------------
// Alias record to the Finder's object specifier.

TEST_F(Finder, AliasAsObjectTable) {
  FSSpec fsspec;
  ASSERT_EQ(FSGetCatalogInfo(&fileRef_, kFSCatInfoNone, nullptr, nullptr, &fsspec, nullptr), noErr);
  AliasHandle fileAlias = nullptr, folderAlias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &fileRef_, &fileAlias), noErr);
  ASSERT_EQ(FSNewAlias(nullptr, &folderRef_, &folderAlias), noErr);
  struct Row {
    const char* what;
    std::function<OSErr(AEDesc*)> call;
    DescType want;
    std::string path;
  };
  const Row rows[] = {
      {"file alias", [&](AEDesc* o) { return MoreFEGetAliasAsObject(fileAlias, o, kIdle); }, cFile, file_},
      {"folder alias", [&](AEDesc* o) { return MoreFEGetAliasAsObject(folderAlias, o, kIdle); }, cFolder, folder_},
      {"FSSpec", [&](AEDesc* o) { return MoreFEGetFSSpecAsObject(&fsspec, o, kIdle); }, cFile, file_},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fd::Reset();
    fd::Expect({kAECoreSuite, kAEGetData, {{keyDirectObject, typeObjectSpecifier}}});
    fd::SetResponder([](const AppleEvent*, AppleEvent* reply) {
      AEDesc container, spec;
      MoreAENullDesc(&container);
      MoreAENullDesc(&spec);
      const Str255 name = {3, 'o', 'n', 'e'};
      OSErr err = MoreAEOCreateObjSpecifierFormName(cFile, &container, name, false, &spec);
      if (err == noErr) err = fd::PutDirectObject(reply, &spec);
      MoreAEDisposeDesc(&spec);
      return err;
    });
    AEDesc out;
    MoreAENullDesc(&out);
    ASSERT_EQ(row.call(&out), noErr);
    EXPECT_EQ(out.descriptorType, DescType(typeObjectSpecifier));
    MoreAEDisposeDesc(&out);
    ASSERT_EQ(fd::EventCount(), 1);
    fd::Specifier s = DirectSpecifier(fd::Event(0));
    EXPECT_EQ(s.desiredClass, row.want);
    EXPECT_EQ(s.keyForm, DescType(formAlias));
    EXPECT_EQ(s.keyType, DescType(typeAlias));
    EXPECT_EQ(s.containerType, DescType(typeNull));
    Handle h = NewHandle(Size(s.keyBytes.size()));
    std::memcpy(*h, s.keyBytes.data(), s.keyBytes.size());
    EXPECT_EQ(PathOfAlias(reinterpret_cast<AliasHandle>(h)), row.path);
    DisposeHandle(h);
    // Addressed by signature.
    AEDesc address;
    MoreAENullDesc(&address);
    ASSERT_EQ(AEGetAttributeDesc(fd::Event(0), keyAddressAttr, typeWildCard, &address), noErr);
    EXPECT_EQ(address.descriptorType, DescType(typeApplSignature));
    MoreAEDisposeDesc(&address);
    EXPECT_EQ(fd::Failures(), "");
  }
  DisposeHandle(reinterpret_cast<Handle>(fileAlias));
  DisposeHandle(reinterpret_cast<Handle>(folderAlias));
}

TEST_F(Finder, AliasOfVanishedItemIsRefusedBeforeSending) {
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &fileRef_, &alias), noErr);
  ASSERT_EQ(::unlink(file_.c_str()), 0);
  AEDesc out;
  MoreAENullDesc(&out);
  EXPECT_EQ(MoreFEGetAliasAsObject(alias, &out, kIdle), fnfErr);
  EXPECT_EQ(fd::EventCount(), 0);
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

// ---------------------------------------------------------------------------
// No Finder running: this process gives up the Finder's identity for the
// test and takes it back afterwards.

TEST_F(Finder, NoFinderGivesProcNotFound) {
  const MacProcessIdentity other = {"not the Finder", 'APPL', 'TEST', 0};
  ASSERT_EQ(MacProcessTakeIdentity(&other), noErr);
  AEDesc spec;
  MoreAENullDesc(&spec);
  MakeItemSpecifier(&spec);
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &fileRef_, &alias), noErr);

  AEDescList list;
  list.descriptorType = 'junk';
  list.dataHandle = nullptr;
  EXPECT_EQ(MoreFEGetSelection(kIdle, &list), procNotFound);
  EXPECT_EQ(list.descriptorType, DescType(typeNull));
  EXPECT_EQ(MoreFEGetEveryItemOnDesktop(kIdle, &list), procNotFound);
  AliasHandle out = reinterpret_cast<AliasHandle>(0x1);
  EXPECT_EQ(MoreFEGetObjectAsAlias(&spec, &out, kIdle), procNotFound);
  EXPECT_EQ(out, reinterpret_cast<AliasHandle>(0x1));
  EXPECT_EQ(MoreFEUpdateItemFSRef(&fileRef_), procNotFound);
  EXPECT_EQ(MoreFEUpdateItemAlias(alias), procNotFound);
  EXPECT_EQ(MoreFESetSelectionToNone(nullptr), procNotFound);
  AEDesc obj;
  MoreAENullDesc(&obj);
  EXPECT_EQ(MoreFEGetAliasAsObject(alias, &obj, kIdle), procNotFound);  // the send's result
  EXPECT_EQ(fd::EventCount(), 0);

  const MacProcessIdentity finder = {"Finder", 'FNDR', 'MACS', 0};
  ASSERT_EQ(MacProcessTakeIdentity(&finder), noErr);
  MoreAEDisposeDesc(&spec);
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

// An alias that cannot be made (no memory for its handle): that result,
// nothing sent, nothing left behind.
TEST_F(Finder, AliasThatCannotBeMadeSendsNothing) {
  FSSpec fsspec;
  ASSERT_EQ(FSGetCatalogInfo(&fileRef_, kFSCatInfoNone, nullptr, nullptr, &fsspec, nullptr), noErr);
  AEDesc out;
  MoreAENullDesc(&out);
  const std::function<OSErr()> calls[] = {
      [&] { return MoreFEUpdateItemFSRef(&fileRef_); },
      [&] { return MoreFEUpdateItemFSS(&fsspec); },
      [&] { return MoreFEGetFSSpecAsObject(&fsspec, &out, kIdle); },
  };
  int i = 0;
  for (const auto& call : calls) {
    SCOPED_TRACE(i++);
    MacMemoryFailAllocations(0, 1000);
    const OSErr err = call();
    MacMemoryFailAllocations(0, 0);
    EXPECT_EQ(err, memFullErr);
  }
  EXPECT_EQ(fd::EventCount(), 0);
  EXPECT_EQ(out.descriptorType, DescType(typeNull));
}

// The double's check has teeth: a parameter more than expected, a wrong
// type or a missing one is reported.
TEST_F(Finder, DoubleReportsEveryMismatch) {
  fd::Expect({kAECoreSuite, kAEGetData, {{keyDirectObject, typeObjectSpecifier}, {'xtra', typeChar}}});
  AppleEvent event;
  MoreAENullDesc(&event);
  ASSERT_EQ(MoreAECreateAppleEventSignatureTarget('FNDR', 'MACS', kAECoreSuite, kAEGetData, &event), noErr);
  ASSERT_EQ(AEPutParamPtr(&event, keyDirectObject, typeChar, "x", 1), noErr);
  const DescType alis = typeAlias;
  ASSERT_EQ(AEPutParamPtr(&event, keyAERequestedType, typeType, &alis, 4), noErr);
  EXPECT_EQ(MoreAESendEventNoReturnValue(kIdle, &event), noErr);
  MoreAEDisposeDesc(&event);
  const std::string failures = fd::Failures();
  EXPECT_NE(failures.find("'----' of type 'TEXT'"), std::string::npos) << failures;
  EXPECT_NE(failures.find("'xtra' missing"), std::string::npos) << failures;
  EXPECT_NE(failures.find("'rtyp' not expected"), std::string::npos) << failures;
  fd::Reset();  // the mismatches were the point
}
