#include "plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "patches/patch_sites.h"

#include "plugin_image.h"

namespace plan {
namespace {

struct Window {
    std::uint32_t Address, Size;
};

// The image the tables say the host must hold after start-up, and the protection
// windows in their order.
struct Plan {
    std::vector<std::uint8_t> Image;
    std::vector<Window> Windows;

    void Put(std::uint32_t address, std::vector<std::uint8_t> bytes) {
        std::memcpy(&Image[address - SIM_IMAGE_BASE], bytes.data(), bytes.size());
    }
    void Put32(std::uint32_t address, std::uint32_t value) {
        std::memcpy(&Image[address - SIM_IMAGE_BASE], &value, 4);
    }
    void Window(std::uint32_t address, std::vector<std::uint8_t> bytes) {
        Put(address, bytes);
        Windows.push_back({address, static_cast<std::uint32_t>(bytes.size())});
    }
    void Jump(std::uint8_t opcode, std::uint32_t site, std::uint32_t target) {
        Window(site, {opcode});
        Put32(site + 1, target - (site + 5));
        Windows.push_back({site + 1, 4});
    }
};

Plan ExpectedPlan(const Flags& flags, std::uint32_t steerBits, std::uint32_t lodHook,
                  std::uint32_t attributeStub, std::uint32_t sculptStub) {
    Plan plan{harness::PristineImage(), {}};
    plan.Put32(0xA8918C, steerBits);
    if (flags.Pools) {
        plan.Window(0x65F761, {0x00, 0x80, 0x2C, 0x00});
        plan.Window(0x65F781, {0x00, 0x80, 0x2C, 0x00});
        plan.Window(0xA58F9C, {0x00, 0x70, 0x17, 0x00});
        plan.Window(0xA60DE4, {0x00, 0x71, 0x02, 0x00});
    }
    plan.Jump(0xE8, 0x777D11, lodHook);
    plan.Jump(0xE9, 0x773D3C, attributeStub);
    plan.Window(0x773D4F, std::vector<std::uint8_t>(6, 0x90));
    if (flags.Tuning) {
        plan.Window(0x5C192C, std::vector<std::uint8_t>(8, 0x90));
        plan.Window(0x5C18DC, {0x90, 0x90});
        plan.Window(0x5C185A, {0x90, 0x90});
        plan.Jump(0xE9, 0x5C18E6, 0x5C19AC);
    }
    if (flags.Autosculpt) {
        plan.Window(0x757290, {0x90, 0x90});
        plan.Jump(0xE9, 0x7E7E79, sculptStub);
    }
    return plan;
}

std::string DescribeDifferences(const std::vector<std::uint8_t>& want,
                                const std::vector<std::uint8_t>& got) {
    std::ostringstream out;
    int shown = 0;
    for (size_t i = 0; i < want.size() && i < got.size() && shown < 20; ++i) {
        if (want[i] != got[i]) {
            out << std::hex << "\n  0x" << SIM_IMAGE_BASE + i << ": want " << int(want[i])
                << " got " << int(got[i]);
            ++shown;
        }
    }
    return out.str();
}

// The tools' list of the plan's places (PlanSites) holds every byte the plugin
// wrote, each place it lists for these switches was written, and where the bytes do
// not depend on the plugin's base they are the ones the list gives.
void ExpectListedSites(const Flags& flags, const std::vector<std::uint8_t>& image) {
    const std::vector<zk::PatchSite> sites = zk::PlanSites();
    const auto& pristine = harness::PristineImage();
    for (std::uint32_t i = 0; i < image.size(); ++i) {
        const std::uint32_t address = SIM_IMAGE_BASE + i;
        if (image[i] == pristine[i] || (address >= SIM_HASH_CALLS && address < SIM_HASH_CALLS + 4)) continue;
        const bool listed = std::any_of(sites.begin(), sites.end(), [address](const zk::PatchSite& site) {
            return address >= site.Address && address < site.Address + site.Width;
        });
        EXPECT_TRUE(listed) << std::hex << "0x" << address << " is written but no place of PlanSites() holds it";
    }
    zk::GlobalSettingsRecord on;
    on.ExpandMemoryPools = flags.Pools;
    on.InfiniteTuningSliders = flags.Tuning;
    on.InfiniteAutosculptSliders = flags.Autosculpt;
    for (const zk::PatchSite& site : sites) {
        const std::uint32_t at = site.Address - SIM_IMAGE_BASE;
        const std::vector<std::uint8_t> live(image.begin() + at, image.begin() + at + site.Width);
        const std::vector<std::uint8_t> before(pristine.begin() + at, pristine.begin() + at + site.Width);
        const bool written = site.Switch == nullptr || on.*site.Switch;
        EXPECT_EQ(live != before, written) << std::hex << "0x" << site.Address << " " << site.What;
        const std::vector<std::uint8_t> planned = zk::PlannedBytes(site);
        if (written) {
            EXPECT_TRUE(std::equal(planned.begin(), planned.end(), live.begin()))
                << std::hex << "0x" << site.Address << " " << site.What;
        }
    }
}

}  // namespace

std::string FlagIni(const Flags& flags) {
    return std::string("[GENERAL]\n") + (flags.Pools ? "ExpandMemoryPools=1\n" : "") +
           (flags.Tuning ? "InfiniteTuningSliders=1\n" : "") +
           (flags.Autosculpt ? "InfiniteAutosculptSliders=1\n" : "");
}

// Loads the scenario and checks the image and the windows against the plan.
void ExpectPlan(harness::Scenario& scenario, const Flags& flags, std::uint32_t steerBits,
                std::uint32_t hashCalls) {
    const std::uint32_t hashesBefore = harness::PeekHost32(SIM_HASH_CALLS);
    ASSERT_TRUE(scenario.Load());
    const harness::ModuleRange module = harness::RangeOf(scenario.Module());
    const std::uint32_t lodHook = harness::RelativeTarget(0x777D11);
    const std::uint32_t attributeStub = harness::RelativeTarget(0x773D3C);
    const std::uint32_t sculptStub =
        flags.Autosculpt ? harness::RelativeTarget(0x7E7E79) : 0;
    EXPECT_TRUE(harness::IsLodOverrideHook(module, lodHook)) << std::hex << lodHook;
    EXPECT_TRUE(harness::IsAttributeValueEntryStub(module, attributeStub)) << std::hex << attributeStub;
    if (flags.Autosculpt) {
        EXPECT_TRUE(harness::IsAutosculptSliderStub(module, sculptStub)) << std::hex << sculptStub;
    }

    Plan plan = ExpectedPlan(flags, steerBits, lodHook, attributeStub, sculptStub);
    plan.Put32(SIM_HASH_CALLS, hashesBefore + hashCalls);  // the host's hash counts its calls
    const std::vector<std::uint8_t> image = harness::CurrentImage();
    EXPECT_TRUE(image == plan.Image) << DescribeDifferences(plan.Image, image);
    ExpectListedSites(flags, image);

    // Each window opened with 0x40 and closed again with what the page had.
    const auto calls = harness::TakeProtectCalls();
    ASSERT_EQ(calls.size(), plan.Windows.size() * 2);
    for (size_t i = 0; i < plan.Windows.size(); ++i) {
        const harness::ProtectCall& open = calls[2 * i];
        const harness::ProtectCall& close = calls[2 * i + 1];
        const std::uint32_t address = plan.Windows[i].Address;
        SCOPED_TRACE(testing::Message() << "window " << i << " at 0x" << std::hex << address);
        EXPECT_EQ(open.Address, address);
        EXPECT_EQ(open.Size, plan.Windows[i].Size);
        EXPECT_EQ(open.Protection, 0x40u);
        EXPECT_EQ(close.Address, address);
        EXPECT_EQ(close.Size, plan.Windows[i].Size);
        EXPECT_EQ(close.Protection, open.Previous);
        EXPECT_EQ(close.Protection, harness::PristineProtection(address));
    }
    for (std::uint32_t page = SIM_IMAGE_BASE; page < SIM_IMAGE_BASE + harness::HostImageSize();
         page += 0x1000) {
        ASSERT_EQ(harness::CurrentProtection(page), harness::PristineProtection(page))
            << std::hex << page;
    }
}

}  // namespace plan
