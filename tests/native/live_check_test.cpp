// The live check's judgement, without a running game: each place's live bytes,
// the game's file and the module map to a verdict; a game's verdicts and the
// settings file to its findings; and the game's file mapped through its sections.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "live.h"
#include "pe_image.h"

namespace live = zk::check::live;
using live::SiteState;

namespace {

zk::PatchSite Place(std::uint32_t address) {
    for (const zk::PatchSite& site : zk::PlanSites()) {
        if (site.Address == address) return site;
    }
    ADD_FAILURE() << "no place at " << address;
    return {};
}

using Bytes = std::vector<std::uint8_t>;

// A relative CALL or JMP at `site` to `target`.
Bytes Branch(std::uint8_t opcode, std::uint32_t site, std::uint32_t target) {
    const std::uint32_t displacement = target - (site + 5);
    Bytes bytes{opcode};
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(displacement >> (8 * i)));
    return bytes;
}

// The game at 0x400000, the plugin at 0x10000000, another plugin at 0x6A540000.
const std::vector<live::Module> kModules = {{"Z:\\Game\\game.exe", 0x400000, 0x690000},
                                            {"Z:\\Game\\scripts\\ZorbelKavrin.asi", 0x10000000, 0x20000},
                                            {"Z:\\Game\\plugins\\OtherMod.asi", 0x6A540000, 0x9000}};
const std::vector<bool> kPlugins = {false, true, false};

struct SiteCase {
    const char* Name;
    std::uint32_t Address;
    bool Readable;
    Bytes Live;
    bool HasFile;
    Bytes File;
    SiteState State;
    int Into;  // -2: leads nowhere
};

const Bytes kShippedCall = Branch(0xE8, 0x777D11, 0x4366B0);
const Bytes kShippedNops = {0xFF, 0x05, 0x04, 0x01, 0xA8, 0x00};

class ClassifiedSite : public testing::TestWithParam<SiteCase> {};

TEST_P(ClassifiedSite, AsTheBytesSay) {
    const SiteCase& c = GetParam();
    live::SiteReading reading{c.Readable, c.Live, c.HasFile, c.File};
    const live::SiteVerdict verdict = live::ClassifySite(Place(c.Address), reading, kModules, kPlugins, 340.0f);
    EXPECT_EQ(static_cast<int>(verdict.State), static_cast<int>(c.State));
    EXPECT_EQ(verdict.Leads, c.Into != -2);
    if (c.Into != -2) {
        EXPECT_EQ(verdict.Into, c.Into);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClassifiedSite,
    testing::Values(
        SiteCase{"CallIntoThePlugin", 0x777D11, true, Branch(0xE8, 0x777D11, 0x10007D60), true, kShippedCall,
                 SiteState::Plugin, 1},
        SiteCase{"CallAsShipped", 0x777D11, true, kShippedCall, true, kShippedCall, SiteState::Shipped, 0},
        SiteCase{"CallIntoAnotherPlugin", 0x777D11, true, Branch(0xE8, 0x777D11, 0x6A5414B0), true, kShippedCall,
                 SiteState::Other, 2},
        SiteCase{"CallIntoNoModule", 0x777D11, true, Branch(0xE8, 0x777D11, 0x00230000), true, kShippedCall,
                 SiteState::Other, -1},
        SiteCase{"JumpWhereThePluginCalls", 0x777D11, true, Branch(0xE9, 0x777D11, 0x10007D60), true, kShippedCall,
                 SiteState::Other, 1},
        SiteCase{"CallIntoThePluginsLastByte", 0x777D11, true, Branch(0xE8, 0x777D11, 0x1001FFFF), true, kShippedCall,
                 SiteState::Plugin, 1},
        SiteCase{"CallJustPastThePlugin", 0x777D11, true, Branch(0xE8, 0x777D11, 0x10020000), true, kShippedCall,
                 SiteState::Other, -1},
        SiteCase{"CallUnreadable", 0x777D11, false, {}, true, kShippedCall, SiteState::Unreadable, -2},
        SiteCase{"CallReadShort", 0x777D11, true, {0xE8, 0x00}, true, kShippedCall, SiteState::Unreadable, -2},
        SiteCase{"CallIntoThePluginWithoutTheFile", 0x777D11, true, Branch(0xE8, 0x777D11, 0x10007D60), false, {},
                 SiteState::Plugin, 1},
        SiteCase{"CallAsShippedWithoutTheFile", 0x777D11, true, kShippedCall, false, {}, SiteState::NotPlugin, 0},
        SiteCase{"SixNoOperations", 0x773D4F, true, Bytes(6, 0x90), true, kShippedNops, SiteState::Plugin, -2},
        SiteCase{"FiveNoOperations", 0x773D4F, true, {0x90, 0x90, 0x90, 0x90, 0x90, 0x00}, true, kShippedNops,
                 SiteState::Other, -2},
        SiteCase{"NoOperationsAsShipped", 0x773D4F, true, kShippedNops, true, kShippedNops, SiteState::Shipped, -2},
        SiteCase{"PoolValue", 0xA58F9C, true, {0x00, 0x70, 0x17, 0x00}, true, {0x00, 0x00, 0x04, 0x00},
                 SiteState::Plugin, -2},
        SiteCase{"PoolValueOfAnotherMod", 0xA58F9C, true, {0x00, 0x00, 0x20, 0x00}, true, {0x00, 0x00, 0x04, 0x00},
                 SiteState::Other, -2},
        SiteCase{"TuningJump", 0x5C18E6, true, {0xE9, 0xC1, 0x00, 0x00, 0x00}, true, {0x0F, 0x8E, 0xC0, 0x00, 0x00},
                 SiteState::Plugin, 0},
        SiteCase{"TuningJumpOneOff", 0x5C18E6, true, {0xE9, 0xC2, 0x00, 0x00, 0x00}, true,
                 {0x0F, 0x8E, 0xC0, 0x00, 0x00}, SiteState::Other, 0},
        SiteCase{"SteeringAsTheFileSays", 0xA8918C, true, {0x00, 0x00, 0xAA, 0x43}, true, {0x00, 0x00, 0x34, 0x42},
                 SiteState::Plugin, -2},
        SiteCase{"SteeringAsShipped", 0xA8918C, true, {0x00, 0x00, 0x34, 0x42}, true, {0x00, 0x00, 0x34, 0x42},
                 SiteState::Shipped, -2},
        SiteCase{"SteeringOfNeither", 0xA8918C, true, {0x00, 0x00, 0xC8, 0x43}, true, {0x00, 0x00, 0x34, 0x42},
                 SiteState::Other, -2},
        SiteCase{"SculptJumpIntoThePlugin", 0x7E7E79, true, Branch(0xE9, 0x7E7E79, 0x10001234), true,
                 {0xD9, 0x05, 0x00, 0x00, 0x83}, SiteState::Plugin, 1}),
    [](const testing::TestParamInfo<SiteCase>& info) { return std::string(info.param.Name); });

// ---- A game's findings ----

// A game with the plugin loaded, every place as the plugin writes it for these
// settings (`held`), and the settings file saying `file`.
live::Game Working(const zk::GlobalSettingsRecord& held, const zk::GlobalSettingsRecord& file, bool changed) {
    live::Game game;
    game.Id = 32;
    game.Exe = "Z:\\Game\\game.exe";
    game.HasEntryPoint = game.Supported = true;
    game.EntryPoint = 0x428C25;
    game.Modules = kModules;
    game.IsPlugin = kPlugins;
    game.Settings = file;
    game.SettingsFound = true;
    game.SettingsChanged = changed;
    for (const zk::PatchSite& place : zk::PlanSites()) {
        live::Site site{place, {}, {}};
        const bool on = place.Switch == nullptr || held.*place.Switch;
        site.Verdict.State = on ? SiteState::Plugin : SiteState::Shipped;
        site.Reading.Readable = true;
        std::uint32_t bits;
        std::memcpy(&bits, &held.FrontSteerAngle, 4);
        site.Reading.Live = place.Kind == zk::SiteKind::SteerAngle
                                ? Bytes{static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                        static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)}
                                : Bytes(place.Width, 0x90);
        if (place.Kind == zk::SiteKind::SteerAngle && held.FrontSteerAngle != file.FrontSteerAngle) {
            site.Verdict.State = SiteState::Other;
        }
        game.Sites.push_back(site);
    }
    return game;
}

zk::GlobalSettingsRecord Settings(float steer, bool pools, bool tuning, bool sculpt) {
    zk::GlobalSettingsRecord settings;
    settings.FrontSteerAngle = steer;
    settings.ExpandMemoryPools = pools;
    settings.InfiniteTuningSliders = tuning;
    settings.InfiniteAutosculptSliders = sculpt;
    return settings;
}

live::Site& SiteAt(live::Game& game, std::uint32_t address) {
    for (live::Site& site : game.Sites) {
        if (site.Place.Address == address) return site;
    }
    throw std::out_of_range("no site");
}

struct GameCase {
    const char* Name;
    live::Game Game;
    std::vector<std::string> Errors;
    std::vector<std::string> Warnings;
};

std::vector<GameCase> GameCases() {
    std::vector<GameCase> cases;
    const auto same = Settings(340, false, true, false);
    cases.push_back({"Working", Working(same, same, false), {}, {}});
    cases.push_back({"WorkingThoughTheFileWasSavedAgain", Working(same, same, true), {}, {}});
    cases.push_back({"SteeringEditedAfterTheStart",
                     Working(same, Settings(400, false, true, false), true),
                     {},
                     {"FrontSteerAngle: the file now says 400; the game took 340 when it started: restart the game"}});
    cases.push_back({"SteeringOfSomethingElse",
                     Working(same, Settings(400, false, true, false), false),
                     {},
                     {"the steering angle in the game is 340, a value ZorbelKavrin.ini (400, not changed since the "
                      "game started) does not give: something else wrote it (another plugin, or the game itself)"}});
    cases.push_back({"SwitchEditedAfterTheStart",
                     Working(same, Settings(340, true, true, false), true),
                     {},
                     {"ExpandMemoryPools: the file now says on; the game took off when it started: restart the game"}});
    cases.push_back({"SwitchTurnedOffInTheFileAfterTheStart",
                     Working(same, Settings(340, false, false, false), true),
                     {},
                     {"InfiniteTuningSliders: the file now says off; the game took on when it started: restart the "
                      "game"}});
    cases.push_back({"SwitchOffInTheGameThoughTheFileSaysOn",
                     Working(same, Settings(340, false, true, true), false),
                     {"InfiniteAutosculptSliders is off in the game although ZorbelKavrin.ini says on and has not "
                      "changed since the game started: something put the game's own bytes back after this plugin "
                      "wrote them"},
                     {}});
    cases.push_back({"SwitchOnInTheGameThoughTheFileSaysOff",
                     Working(same, Settings(340, false, false, false), false),
                     {},
                     {"InfiniteTuningSliders is on in the game although ZorbelKavrin.ini says off and has not changed "
                      "since the game started: something else made the same change"}});

    live::Game conflict = Working(same, same, false);
    live::Site& call = SiteAt(conflict, 0x777D11);
    call.Verdict = {SiteState::Other, true, 0x6A5414B0, 2};
    cases.push_back({"AnotherPluginTookTheCall", conflict,
                     {"the level-of-detail call leads into OtherMod.asi, not into ZorbelKavrin.asi: that plugin was "
                      "loaded after this one and replaced its hook"},
                     {}});
    live::Game nowhere = Working(same, same, false);
    SiteAt(nowhere, 0x773D3C).Verdict = {SiteState::Other, true, 0x230000, -1};
    cases.push_back({"TheJumpLeadsIntoNoModule", nowhere,
                     {"the attribute value jump leads to 0x230000, which no module holds: something changed it after "
                      "this plugin wrote it (a hook made while the game runs)"},
                     {}});
    live::Game restored = Working(same, same, false);
    SiteAt(restored, 0x773D4F).Verdict.State = SiteState::Shipped;
    cases.push_back({"TheGamesBytesPutBack", restored,
                     {"the no-operations after the attribute value hook at 0x773D4F is as the game shipped it: "
                      "something put the game's own bytes back after this plugin wrote them"},
                     {}});
    live::Game unreadable = Working(same, same, false);
    SiteAt(unreadable, 0x5C18DC).Verdict.State = SiteState::Unreadable;
    SiteAt(unreadable, 0x777D11).Verdict.State = SiteState::Unreadable;
    cases.push_back({"PlacesThatCannotBeRead", unreadable,
                     {},
                     {"the level-of-detail call at 0x777D11 cannot be read",
                      "a tuning slider limit at 0x5C18DC cannot be read"}});
    live::Game mixed = Working(same, same, false);
    SiteAt(mixed, 0x5C18E6).Verdict = {SiteState::Other, true, 0x6A541000, 2};
    cases.push_back({"OneSliderPlaceOfAnotherPlugin", mixed,
                     {"the tuning slider jump at 0x5C18E6 holds a jump into OtherMod.asi: that plugin changed it "
                      "after this one"},
                     {}});

    live::Game refused = Working(same, same, false);
    refused.Supported = false;
    refused.EntryPoint = 0x428C26;
    refused.IsPlugin = {false, false, false};
    cases.push_back({"ARefusedBuild", refused,
                     {"it is not the supported build (AddressOfEntryPoint 0x428C26; the plugin takes only 0x428C25): "
                      "the plugin refused to load there (\"This .exe is not supported.\") and changed nothing"},
                     {}});
    live::Game showing = refused;
    showing.IsPlugin = kPlugins;
    cases.push_back({"ARefusedBuildWhileItsMessageShows", showing,
                     {"it is not the supported build (AddressOfEntryPoint 0x428C26; the plugin takes only 0x428C25): "
                      "the plugin shows \"This .exe is not supported.\" and changes nothing"},
                     {}});
    live::Game two = Working(same, same, false);
    two.IsPlugin = {false, true, true};
    two.Modules[2].Path = "Z:\\Game\\ZorbelKavrin - Copy.asi";
    cases.push_back({"TwoCopies", two,
                     {"2 copies of the plugin are loaded (Z:\\Game\\scripts\\ZorbelKavrin.asi, Z:\\Game\\ZorbelKavrin - "
                      "Copy.asi): each changed the game; keep one"},
                     {}});

    live::Game bare = Working(same, same, false);
    bare.IsPlugin = {false, false, false};
    cases.push_back({"NotLoadedAndNoPlugin", bare,
                     {"ZorbelKavrin.asi is not loaded in the game: there is no ZorbelKavrin.asi where an ASI loader "
                      "looks (the game's folder, its scripts and plugins folders); put it in the scripts folder with "
                      "ZorbelKavrin.ini and KavrinCars"},
                     {}});
    live::Game noLoader = bare;
    noLoader.Folder.Plugins = {"Z:\\Game\\scripts\\ZorbelKavrin.asi"};
    noLoader.Folder.LookedForLoaders = true;
    cases.push_back({"NotLoadedAndNoLoader", noLoader,
                     {"ZorbelKavrin.asi is not loaded in the game: there is no ASI loader beside the game: no DLL there "
                      "loads .asi files; install one (ZorbelKavrin-README.txt, Installing)"},
                     {}});
    live::Game wine = noLoader;
    wine.Folder.Loaders = {"Z:\\Game\\dinput8.dll"};
    wine.Folder.UnderWine = true;
    cases.push_back({"NotLoadedWineTookItsOwnLoader", wine,
                     {"ZorbelKavrin.asi is not loaded in the game: the game did not load the ASI loader "
                      "Z:\\Game\\dinput8.dll: Wine takes its own dinput8.dll first; start the game with "
                      "WINEDLLOVERRIDES=\"dinput8=n,b\""},
                     {}});
    live::Game denied;
    denied.Looked = live::Outcome::Denied;
    cases.push_back({"Denied", denied,
                     {"access is denied (the game runs as administrator, or is protected), so nothing of it can be "
                      "read: run zk-check the same way as the game (as administrator: right-click zk-check.exe, Run "
                      "as administrator)"},
                     {}});
    return cases;
}

class JudgedGame : public testing::TestWithParam<GameCase> {};

TEST_P(JudgedGame, FindingsAsExpected) {
    live::Game game = GetParam().Game;
    live::Judge(game);
    EXPECT_EQ(game.Errors, GetParam().Errors);
    EXPECT_EQ(game.Warnings, GetParam().Warnings);
}

INSTANTIATE_TEST_SUITE_P(Table, JudgedGame, testing::ValuesIn(GameCases()),
                         [](const testing::TestParamInfo<GameCase>& info) { return std::string(info.param.Name); });

TEST(LiveVerdict, FirstProblemOfAllGamesOrOk) {
    live::LiveResult result;
    EXPECT_EQ(live::Verdict(result), "no running game found: start the game, then run this again");
    EXPECT_EQ(live::ExitStatus(result), 2);
    const auto same = Settings(340, false, false, false);
    result.Games.push_back(Working(same, same, false));
    live::Judge(result.Games[0]);
    EXPECT_EQ(live::Verdict(result), "OK: ZorbelKavrin is working in game.exe (PID 32): every place as it writes "
                                     "them, with the values ZorbelKavrin.ini gives now");
    EXPECT_EQ(live::ExitStatus(result), 0);
    result.Games.push_back(Working(same, Settings(400, false, false, false), true));
    result.Games[1].Id = 40;
    live::Judge(result.Games[1]);
    EXPECT_EQ(live::Verdict(result), "WARNING: game.exe (PID 40): FrontSteerAngle: the file now says 400; the game "
                                     "took 340 when it started: restart the game");
    EXPECT_EQ(live::ExitStatus(result), 1);
    result.Games[0].Errors.push_back("it ended while it was read");
    EXPECT_EQ(live::Verdict(result), "ERROR: game.exe (PID 32): it ended while it was read (1 more below)");
    EXPECT_EQ(live::ExitStatus(result), 2);
    result.Available = false;
    EXPECT_EQ(live::ExitStatus(result), 2);
}

// ---- The game's file, through its sections ----

// A PE32 file's headers: the image base, and sections of (address, size, raw offset, raw size).
std::string Headers(std::uint32_t imageBase, const std::vector<zk::check::PeSection>& sections) {
    std::string bytes(0x400, '\0');
    const auto put16 = [&bytes](std::size_t at, std::uint32_t value) {
        bytes[at] = static_cast<char>(value);
        bytes[at + 1] = static_cast<char>(value >> 8);
    };
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        put16(at, value & 0xFFFF);
        put16(at + 2, value >> 16);
    };
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put32(0x3C, 0x80);
    std::memcpy(&bytes[0x80], "PE\0\0", 4);
    put16(0x86, static_cast<std::uint32_t>(sections.size()));
    put16(0x94, 0xE0);   // optional header size
    put16(0x98, 0x10B);  // PE32
    put32(0x98 + 0x1C, imageBase);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::size_t at = 0x98 + 0xE0 + i * 40;
        put32(at + 8, sections[i].Size);
        put32(at + 12, sections[i].Address);
        put32(at + 16, sections[i].RawSize);
        put32(at + 20, sections[i].RawOffset);
    }
    return bytes;
}

TEST(PeLayout, DamagedHeadersSayWhy) {
    zk::check::PeLayout layout;
    std::size_t needed = 0;
    const std::string good = Headers(0x400000, {{0x1000, 0x2000, 0x400, 0x1800}, {0x3000, 0x1000, 0x1C00, 0}});
    EXPECT_EQ(zk::check::ReadPeLayout(good, layout, &needed), "");
    EXPECT_EQ(layout.ImageBase, 0x400000u);
    ASSERT_EQ(layout.Sections.size(), 2u);
    EXPECT_EQ(layout.Sections[1].RawOffset, 0x1C00u);

    const struct {
        std::string Bytes;
        const char* Problem;
        std::size_t Needed;
    } damaged[] = {
        {"", "not a Windows program (no MZ header)", 0},
        {"MZ" + std::string(0x30, '\0'), "truncated inside its DOS header", 0},
        {good.substr(0, 0x98), "truncated before the end of its PE header", 0xB8},
        {std::string(good).replace(0x80, 2, "NE"), "not a Windows program (no PE signature)", 0},
        {std::string(good).replace(0x98, 2, "\x0B\x02", 2), "not a 32-bit Windows program", 0},
        {good.substr(0, 0x98 + 0xE0 + 40), "truncated inside its section table", 0x98 + 0xE0 + 80},
    };
    for (const auto& file : damaged) {
        EXPECT_EQ(zk::check::ReadPeLayout(file.Bytes, layout, &needed), file.Problem);
        EXPECT_EQ(needed, file.Needed) << file.Problem;
    }
}

TEST(PeLayout, AddressesMapThroughTheSections) {
    zk::check::PeLayout layout;
    std::size_t needed = 0;
    ASSERT_EQ(zk::check::ReadPeLayout(Headers(0x400000, {{0x1000, 0x2000, 0x400, 0x1800}, {0x3000, 0, 0x1C00, 0x200}}),
                                      layout, &needed),
              "");
    std::uint64_t offset = 0;
    std::uint32_t fromFile = 0;
    ASSERT_TRUE(zk::check::MappedSpan(layout, 0x401010, 5, &offset, &fromFile));
    EXPECT_EQ(offset, 0x410u);
    EXPECT_EQ(fromFile, 5u);
    // Across the end of the raw data: what lies beyond it is the loader's zeros.
    ASSERT_TRUE(zk::check::MappedSpan(layout, 0x4027FE, 4, &offset, &fromFile));
    EXPECT_EQ(offset, 0x1BFEu);
    EXPECT_EQ(fromFile, 2u);
    ASSERT_TRUE(zk::check::MappedSpan(layout, 0x402900, 4, &offset, &fromFile));
    EXPECT_EQ(fromFile, 0u);
    // A section whose size in memory is 0 spans its raw size.
    ASSERT_TRUE(zk::check::MappedSpan(layout, 0x4031FC, 4, &offset, &fromFile));
    EXPECT_EQ(offset, 0x1DFCu);
    EXPECT_FALSE(zk::check::MappedSpan(layout, 0x4031FE, 4, &offset, &fromFile));  // runs past its end
    EXPECT_FALSE(zk::check::MappedSpan(layout, 0x3FFFFF, 1, &offset, &fromFile));  // below the image
    EXPECT_FALSE(zk::check::MappedSpan(layout, 0x400000, 4, &offset, &fromFile));  // the headers: no section
}

}  // namespace
