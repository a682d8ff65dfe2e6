// The two hook decisions per call, against their floors.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "cars/attribute_value_hook.h"
#include "cars/car_settings.h"
#include "cars/lod_override_hook.h"
#include "core/host_routines.h"
#include "core/host_stand_in.h"
#include "counting_allocator.h"
#include "settings/global_settings.h"

namespace {

enum Where { kFirst, kLast, kAbsent };

void FillRegistry(int count) {
    zk::CarSettingsRegistry.clear();
    for (int i = 0; i < count; ++i) {
        auto record = std::make_unique<zk::CarSettingsRecord>();
        record->Name = "CAR_" + std::to_string(i) + ".ini";
        record->Key = zk::StandInNameHash(record->Name.c_str());
        record->ForceLodA = (i % 2) == 0;
        zk::CarSettingsRegistry.push_back(std::move(record));
    }
}

void BM_LodDecision(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    FillRegistry(count);
    zk::GlobalSettings = zk::GlobalSettingsRecord{};
    const Where where = static_cast<Where>(state.range(1));
    const std::uint32_t key = where == kFirst  ? zk::CarSettingsRegistry.front()->Key
                              : where == kLast ? zk::CarSettingsRegistry.back()->Key
                                               : 0x0BADCAFE;
    char name[] = "CARBODY_KIT00_C";
    const auto before = bench::CurrentAllocations();
    for (auto _ : state) {
        ApplyLodOverride(name, key);
        benchmark::ClobberMemory();
    }
    state.counters["allocations_per_call"] = benchmark::Counter(
        static_cast<double>(bench::CurrentAllocations().Calls - before.Calls), benchmark::Counter::kAvgIterations);
    zk::CarSettingsRegistry.clear();
}

__attribute__((noinline)) void EmptyDecision(char* name, std::uint32_t key) {
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(key);
}

void BM_EmptyCallFloor(benchmark::State& state) {
    char name[] = "CARBODY_KIT00_C";
    void (*volatile call)(char*, std::uint32_t) = &EmptyDecision;
    for (auto _ : state) {
        call(name, 0x0BADCAFE);
        benchmark::ClobberMemory();
    }
}

struct HostObject {
    unsigned char Bytes[0x400] = {};
    unsigned char Holder[0x200] = {};
    struct {
        std::uint32_t Head;
        float Value;
    } Record{0, 1.5f};
};

HostObject gObject;

void SetUpLookup() {
    const void* holder = gObject.Holder;
    std::memcpy(gObject.Bytes + 0x3F0, &holder, sizeof holder);
    zk::StandInAttributes = {{gObject.Holder + 0xD8, 0xFDE70341, &gObject.Record}};
}

void BM_IndexedAttributeValue(benchmark::State& state) {
    SetUpLookup();
    const auto before = bench::CurrentAllocations();
    const void* object = gObject.Bytes;
    for (auto _ : state) {
        benchmark::DoNotOptimize(object);
        benchmark::DoNotOptimize(IndexedAttributeValue(object, 0, 35000));
    }
    state.counters["allocations_per_call"] = benchmark::Counter(
        static_cast<double>(bench::CurrentAllocations().Calls - before.Calls), benchmark::Counter::kAvgIterations);
}

void BM_AttributeLookupFloor(benchmark::State& state) {
    SetUpLookup();
    const void* set = gObject.Holder + 0xD8;
    for (auto _ : state) {
        benchmark::DoNotOptimize(set);
        benchmark::DoNotOptimize(zk::HostAttributeLookup(set, 0xFDE70341, 0));
    }
}

}  // namespace

BENCHMARK(BM_LodDecision)
    ->ArgsProduct({{1, 100, 10000}, {kFirst, kLast, kAbsent}})
    ->ArgNames({"records", "where"});
BENCHMARK(BM_EmptyCallFloor);
BENCHMARK(BM_IndexedAttributeValue);
BENCHMARK(BM_AttributeLookupFloor);
