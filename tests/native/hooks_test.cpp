// The decisions behind the two host hooks, on the native build.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

#include "cars/attribute_value_hook.h"
#include "cars/car_settings.h"
#include "cars/lod_override_hook.h"
#include "core/host_stand_in.h"
#include "settings/global_settings.h"
#include "failing_allocator.h"
#include "test_support.h"

namespace {

class LodDecision : public testing::Test {
protected:
    void SetUp() override { testing_support::ResetPluginState(""); }
    void TearDown() override { testing_support::ResetPluginState(""); }
    void Add(std::uint32_t key, bool flag, const std::string& name = "car") {
        auto record = std::make_unique<zk::CarSettingsRecord>();
        record->Key = key;
        record->ForceLodA = flag;
        record->Name = name;
        zk::CarSettingsRegistry.push_back(std::move(record));
    }
    std::string Decide(std::string name, std::uint32_t key) {
        std::string buffer = name + '\0' + "guard";
        ApplyLodOverride(&buffer[0], key);
        EXPECT_EQ(buffer.substr(name.size()), std::string("\0guard", 6)) << "wrote past the name";
        return buffer.substr(0, name.size());
    }
};

TEST_F(LodDecision, NothingSetLeavesTheName) { EXPECT_EQ(Decide("CARC", 1), "CARC"); }

TEST_F(LodDecision, GlobalFlagChangesEveryName) {
    zk::GlobalSettings.ForceLodA = true;
    Add(5, false);
    EXPECT_EQ(Decide("CARC", 1), "CARA");
    EXPECT_EQ(Decide("CARC", 5), "CARA");
}

TEST_F(LodDecision, TheCarFlagOfTheKey) {
    Add(7, true);
    Add(8, false);
    EXPECT_EQ(Decide("CARC", 7), "CARA");
    EXPECT_EQ(Decide("CARC", 8), "CARC");
    EXPECT_EQ(Decide("CARC", 9), "CARC");
}

TEST_F(LodDecision, TheFirstRecordOfAKeyDecides) {
    Add(7, false);
    Add(7, true);
    EXPECT_EQ(Decide("CARC", 7), "CARC");
    zk::CarSettingsRegistry.clear();
    Add(7, true);
    Add(7, false);
    EXPECT_EQ(Decide("CARC", 7), "CARA");
}

TEST_F(LodDecision, ShortEmptyAndAlreadyA) {
    zk::GlobalSettings.ForceLodA = true;
    EXPECT_EQ(Decide("A", 0), "A");
    EXPECT_EQ(Decide("x", 0), "A");
    EXPECT_EQ(Decide("", 0), "");
    EXPECT_EQ(Decide("CARA", 0), "CARA");
    EXPECT_EQ(Decide("\xC3\xA9", 0), "\xC3" "A");  // bytes, not characters
}

TEST_F(LodDecision, ExtremeKeys) {
    Add(0, true);
    Add(0xFFFFFFFF, true);
    EXPECT_EQ(Decide("ab", 0), "aA");
    EXPECT_EQ(Decide("ab", 0xFFFFFFFF), "aA");
    EXPECT_EQ(Decide("ab", 0xFFFFFFFE), "ab");
}

// ---- The attribute value ----

struct HostObject {
    unsigned char Bytes[0x400] = {};
    void SetHolder(const void* holder) { std::memcpy(Bytes + 0x3F0, &holder, sizeof holder); }
};

struct Record {
    std::uint32_t Head = 0;
    float Value = 0;
};

class AttributeValue : public testing::Test {
protected:
    void SetUp() override {
        zk::StandInAttributes.clear();
        object_.SetHolder(holder_);
    }
    void TearDown() override { zk::StandInAttributes.clear(); }
    const void* Set() const { return holder_ + 0xD8; }
    HostObject object_;
    unsigned char holder_[0x200] = {};
};

TEST_F(AttributeValue, NullObjectDividesByAThousand) {
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, 35000), 35.0f);
    EXPECT_EQ(IndexedAttributeValue(nullptr, 5, -1500), -1.5f);
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, 0), 0.0f);
}

TEST_F(AttributeValue, NullHolderFallsBack) {
    HostObject empty;
    Record record{0, 9.0f};
    zk::StandInAttributes.push_back({nullptr, 0xFDE70341, &record});
    EXPECT_EQ(IndexedAttributeValue(&empty, 0, 2500), 2.5f);
}

TEST_F(AttributeValue, LookupMissFallsBack) {
    EXPECT_EQ(IndexedAttributeValue(&object_, 0, 35000), 35.0f);
}

TEST_F(AttributeValue, KeyByIndexAndTheRecordsFloatExactly) {
    Record low{0, 1.25f}, high{0, -7.5f};
    zk::StandInAttributes.push_back({Set(), 0xFDE70341, &low});
    zk::StandInAttributes.push_back({Set(), 0x2FC42D62, &high});
    for (int index : {std::numeric_limits<int>::min(), -1, 0, 1}) {
        EXPECT_EQ(IndexedAttributeValue(&object_, index, 99000), 1.25f) << index;
    }
    for (int index : {2, 3, 1000, std::numeric_limits<int>::max()}) {
        EXPECT_EQ(IndexedAttributeValue(&object_, index, 99000), -7.5f) << index;
    }
}

TEST_F(AttributeValue, TheSetIsTheHolderPlus0xD8) {
    Record record{0, 3.0f};
    zk::StandInAttributes.push_back({holder_, 0xFDE70341, &record});  // the holder itself: wrong
    EXPECT_EQ(IndexedAttributeValue(&object_, 0, 1000), 1.0f);
}

TEST_F(AttributeValue, TheRecordsBitsComeBackUnchanged) {
    for (std::uint32_t bits : {0x7F800000u, 0xFF800000u, 0x00000001u, 0x80000000u, 0x7F7FFFFFu}) {
        Record record;
        std::memcpy(&record.Value, &bits, 4);
        zk::StandInAttributes.assign(1, {Set(), 0xFDE70341, &record});
        const float value = IndexedAttributeValue(&object_, 0, 5);
        std::uint32_t got;
        std::memcpy(&got, &value, 4);
        EXPECT_EQ(got, bits);
    }
}

TEST_F(AttributeValue, LargeIntegersRoundToSinglePrecisionBeforeTheDivision) {
    // 16777217 is not a float: it becomes 16777216 first, then / 1000.
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, 16777217), 16777216.0f / 1000.0f);
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, 2147483647), 2147483648.0f / 1000.0f);
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, -2147483647 - 1), -2147483648.0f / 1000.0f);
    // 16777219 becomes 16777220 first; dividing the exact integer would round to
    // another float.
    EXPECT_EQ(IndexedAttributeValue(nullptr, 0, 16777219), 16777220.0f / 1000.0f);
    EXPECT_NE(static_cast<float>(16777219.0 / 1000.0), 16777220.0f / 1000.0f);
}

// ---- Nothing allocated per call ----

TEST(HookAllocations, NeitherDecisionAllocates) {
    testing_support::ResetPluginState("");
    for (int i = 0; i < 200; ++i) {
        auto record = std::make_unique<zk::CarSettingsRecord>();
        record->Key = static_cast<std::uint32_t>(i);
        record->ForceLodA = i % 2 == 0;
        zk::CarSettingsRegistry.push_back(std::move(record));
    }
    HostObject object;
    unsigned char holder[0x200] = {};
    object.SetHolder(holder);
    Record record{0, 2.0f};
    zk::StandInAttributes.assign(1, {holder + 0xD8, 0xFDE70341, &record});
    char name[] = "CARC";
    testing_support::FailAllocationsAfter(0);  // any allocation now throws
    bool threw = false;
    float value = 0;
    try {
        for (std::uint32_t key = 0; key < 300; ++key) ApplyLodOverride(name, key);
        value = IndexedAttributeValue(&object, 0, 5) + IndexedAttributeValue(nullptr, 3, 5);
    } catch (...) {
        threw = true;
    }
    testing_support::FailAllocationsAfter(-1);
    EXPECT_FALSE(threw);
    EXPECT_STREQ(name, "CARA");
    EXPECT_EQ(value, 2.005f);
    zk::StandInAttributes.clear();
    testing_support::ResetPluginState("");
}

}  // namespace
