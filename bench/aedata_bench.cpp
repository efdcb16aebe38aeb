// The Apple Event Manager's data model on the path of every event: building
// a small 'core'/'getd' event, flattening it, reading it back and fetching
// its parameters, as each side of a round trip does.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/appleevents/AppleEvents.h"

namespace {

const char kGetSelection[] =
    "'----':obj {want:type(prop), from:null(), form:prop, seld:type(sele)}, rtyp:type(alis)";

void BuildEvent(AppleEvent* e) {
  UInt32 psn[2] = {0, 5};
  AEBuildAppleEvent(kAECoreSuite, kAEGetData, typeProcessSerialNumber, psn, 8,
                    kAutoGenerateReturnID, kAnyTransactionID, e, nullptr, kGetSelection);
}

void BM_BuildGetDataEvent(benchmark::State& state) {
  for (auto _ : state) {
    AppleEvent e = {typeNull, nullptr};
    BuildEvent(&e);
    AEDisposeDesc(&e);
  }
}
BENCHMARK(BM_BuildGetDataEvent);

void BM_FlattenUnflattenAndRead(benchmark::State& state) {
  AppleEvent e = {typeNull, nullptr};
  BuildEvent(&e);
  std::vector<char> buffer(size_t(AESizeOfFlattenedDesc(&e)));
  for (auto _ : state) {
    Size size = 0;
    AEFlattenDesc(&e, buffer.data(), Size(buffer.size()), &size);
    AppleEvent back = {typeNull, nullptr};
    AEUnflattenDescFromBytes(buffer.data(), size, &back);
    AEDesc object = {typeNull, nullptr};
    AEGetParamDesc(&back, keyDirectObject, typeWildCard, &object);
    DescType type = 0, wanted = 0;
    AEGetParamPtr(&back, keyAERequestedType, typeType, &type, &wanted, 4, &size);
    AEGetAttributePtr(&back, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size);
    AEDisposeDesc(&object);
    AEDisposeDesc(&back);
  }
  AEDisposeDesc(&e);
}
BENCHMARK(BM_FlattenUnflattenAndRead);

void BM_PrintEvent(benchmark::State& state) {
  AppleEvent e = {typeNull, nullptr};
  BuildEvent(&e);
  for (auto _ : state) {
    Handle h = nullptr;
    AEPrintDescToHandle(&e, &h);
    DisposeHandle(h);
  }
  AEDisposeDesc(&e);
}
BENCHMARK(BM_PrintEvent);

}  // namespace

BENCHMARK_MAIN();
