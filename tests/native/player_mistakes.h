// The table of mistakes players make: one game folder as a player left it, the
// folder the checker is pointed at, the first line it must print (the temporary
// folder's path left out, '/' as the separator) with its exit status, and, for the
// mistakes --fix mends, the first line of the check made again after the fixes. A
// file whose text starts with "->" is a link to that target; a name ending in '/'
// is a folder. The native tier and the Windows tier both run it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pe_sample.h"

namespace player_mistakes {

struct Mistake {
    const char* Name;
    std::vector<std::pair<std::string, std::string>> Files;
    const char* Checked;
    const char* FirstLine;
    int Status;
    const char* Exe = "";
    const char* AfterFix = nullptr;  // the first line after --fix; null: no fix is certain
};

inline const std::string kGood = "[GENERAL]\nForceLodA = 0\nFrontSteerAngle = 340.0\n";
inline const std::string kCar = "[GENERAL]\nForceLodA = 1\n";
inline const std::string kLoader = std::string("MZ\0loads scripts\\*.ASI\0", 23);

inline std::string PluginOfVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t patch) {
    testing_support::PeSample sample;
    sample.Version[0] = major;
    sample.Version[1] = minor;
    sample.Version[2] = patch;
    return testing_support::MakePe(sample);
}

inline std::vector<Mistake> PlayerMistakes() {
    return {
        Mistake{"InstalledInScripts",
                {{"Game/game.exe", ""}, {"Game/dinput8.dll", kLoader}, {"Game/scripts/ZorbelKavrin.asi", ""},
                 {"Game/scripts/ZorbelKavrin.ini", kGood},
                 {"Game/scripts/KavrinCars/MYCAR.ini", kCar}},
                "Game",
                "OK: the plugin in Game/scripts/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"NoAsiLoader",
                {{"Game/game.exe", ""}, {"Game/d3d9.dll", "MZ graphics; see asia.txt, file.asis"},
                 {"Game/scripts/ZorbelKavrin.asi", ""}, {"Game/scripts/ZorbelKavrin.ini", kGood}},
                "Game/scripts",
                "WARNING: there is no ASI loader in Game/: no DLL there mentions .asi files, so nothing will load the plugin; install one (ZorbelKavrin-README.txt, Installing)", 1},
        Mistake{"LoaderNamingAsiFilesInUtf16",
                {{"Game/game.exe", ""}, {"Game/version.dll", std::string("MZ\0*\0.\0a\0s\0i\0\0\0", 15)},
                 {"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}},
                "Game", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"SplitLayoutCheckedInTheGameFolder",
                {{"Game/scripts/ZorbelKavrin.asi", ""}, {"Game/scripts/KavrinCars/MYCAR.ini", kCar},
                 {"Game/ZorbelKavrin.ini", kGood}},
                "Game",
                "WARNING: Game/ZorbelKavrin.ini is read by no copy of the plugin: the plugin reads only the folder it lies in, Game/scripts/; move it there", 1, "", "OK: the plugin in Game/scripts/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"SplitLayoutCheckedInScripts",
                {{"Game/scripts/ZorbelKavrin.asi", ""}, {"Game/scripts/KavrinCars/MYCAR.ini", kCar},
                 {"Game/ZorbelKavrin.ini", kGood}},
                "Game/scripts",
                "WARNING: Game/ZorbelKavrin.ini is read by no copy of the plugin: the plugin reads only the folder it lies in, Game/scripts/; move it there", 1, "", "OK: the plugin in Game/scripts/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"CarFolderBesideNoPlugin",
                {{"Game/scripts/ZorbelKavrin.asi", ""}, {"Game/scripts/ZorbelKavrin.ini", kGood},
                 {"Game/KavrinCars/MYCAR.ini", kCar}},
                "Game",
                "WARNING: Game/KavrinCars is read by no copy of the plugin: the plugin reads only the folder it lies in, Game/scripts/; move it there", 1, "", "OK: the plugin in Game/scripts/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"InstalledInPlugins",
                {{"Game/plugins/ZorbelKavrin.asi", ""}, {"Game/plugins/ZorbelKavrin.ini", kGood}}, "Game",
                "OK: the plugin in Game/plugins/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"TwoCopiesInTwoFolders",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/scripts/ZorbelKavrin.asi", ""}},
                "Game",
                "ERROR: 2 copies of the plugin will load, and each changes the game: Game/ZorbelKavrin.asi, Game/scripts/ZorbelKavrin.asi; keep one, with ZorbelKavrin.ini and KavrinCars beside it (below: what the copy in Game/ reads)", 2},
        Mistake{"TwoCopiesCheckedInScripts",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/scripts/ZorbelKavrin.asi", ""},
                 {"Game/scripts/ZorbelKavrin.ini", kGood}},
                "Game/scripts",
                "ERROR: 2 copies of the plugin will load, and each changes the game: Game/ZorbelKavrin.asi, Game/scripts/ZorbelKavrin.asi; keep one, with ZorbelKavrin.ini and KavrinCars beside it (below: what the copy in Game/scripts/ reads)", 2},
        Mistake{"ACopyBesideIt",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin - Copy.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}},
                "Game",
                "ERROR: 2 copies of the plugin will load, and each changes the game: Game/ZorbelKavrin.asi, Game/ZorbelKavrin - Copy.asi; keep one, with ZorbelKavrin.ini and KavrinCars beside it (below: what the copy in Game/ reads)", 2},
        Mistake{"NoPluginAnywhere", {{"Game/ZorbelKavrin.ini", kGood}}, "Game",
                "WARNING: there is no ZorbelKavrin.asi in Game/, nor in its scripts or plugins folder: no plugin will read these settings; put ZorbelKavrin.asi, ZorbelKavrin.ini and KavrinCars together in the game folder or its scripts folder", 1},
        Mistake{"SettingsSavedAsTxt",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini.txt", kGood}}, "Game",
                "WARNING: ZorbelKavrin.ini.txt: is not read: the plugin reads only ZorbelKavrin.ini; its name ends in .txt, which Explorer hides, so it shows as 'ZorbelKavrin.ini'; rename it to 'ZorbelKavrin.ini' (Explorer: View, File name extensions)", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"SettingsSavedByNotepadWithoutExtension",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.txt", kGood}}, "Game",
                "WARNING: ZorbelKavrin.txt: is not read: the plugin reads only ZorbelKavrin.ini; its name ends in .txt, which Explorer hides, so it shows as 'ZorbelKavrin'; rename it to 'ZorbelKavrin.ini' (Explorer: View, File name extensions)", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"SettingsCopyBesideTheRealOne",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/ZorbelKavrin - Copy.ini", kGood},
                 {"Game/ZorbelKavrin-README.txt", "read me"}},
                "Game",
                "WARNING: ZorbelKavrin - Copy.ini: is not read: the plugin reads only ZorbelKavrin.ini; it is a copy; delete it, or rename it to 'ZorbelKavrin.ini'", 1},
        Mistake{"SettingsSavedAsTxtIsALinkOutOfTheGame",
                {{"Game/ZorbelKavrin.asi", ""}, {"Elsewhere/mine.ini", kGood},
                 {"Game/ZorbelKavrin.ini.txt", "->../Elsewhere/mine.ini"}},
                "Game",
                "WARNING: ZorbelKavrin.ini.txt: is not read: the plugin reads only ZorbelKavrin.ini; its name ends in .txt, which Explorer hides, so it shows as 'ZorbelKavrin.ini'; rename it to 'ZorbelKavrin.ini' (Explorer: View, File name extensions)", 1},
        Mistake{"CarSavedAsTxt",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/KavrinCars/MYCAR.ini.txt", kCar}},
                "Game",
                "WARNING: KavrinCars/MYCAR.ini.txt: the game knows a car by its whole file name, extension included, so this file applies only to a car named 'MYCAR.ini.txt': its name ends in .txt, which Explorer hides, so it shows as 'MYCAR.ini'; rename it to 'MYCAR.ini' (Explorer: View, File name extensions)", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"CarWithoutExtension",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/KavrinCars/MYCAR", kCar}},
                "Game",
                "WARNING: KavrinCars/MYCAR: the game knows a car by its whole file name, extension included, so this file applies only to a car named 'MYCAR': its name has no extension; rename it to 'MYCAR.ini'", 1},
        Mistake{"CarCopy",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/KavrinCars/MYCAR - Copy.ini", kCar}},
                "Game",
                "WARNING: KavrinCars/MYCAR - Copy.ini: the game knows a car by its whole file name, extension included, so this file applies only to a car named 'MYCAR - Copy.ini': it is a copy; delete it, or rename it to 'MYCAR.ini'", 1},
        Mistake{"SettingsIsAFolder", {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini/", ""}}, "Game",
                "WARNING: ZorbelKavrin.ini: is a folder: the plugin uses the defaults", 1},
        Mistake{"SettingsLinkToNothing",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "->nowhere.ini"}}, "Game",
                "ERROR: ZorbelKavrin.ini cannot be read (it does not exist): the plugin uses the defaults; check that Notepad can open it", 2},
        Mistake{"SettingsInUtf16WithItsMark",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", std::string("\xFF\xFE[\0G\0]\0", 8)}},
                "Game",
                "ERROR: ZorbelKavrin.ini is saved as UTF-16 LE: the plugin reads no setting from it and uses the defaults; save it as ANSI or UTF-8 (in Notepad: Save As, Encoding)", 2, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"CarInUtf16BigEndianWithoutAMark",
                {{"Game/ZorbelKavrin.asi", ""},
                 {"Game/KavrinCars/MYCAR.ini", std::string("\0[\0G\0E\0N\0E\0R\0A\0L\0]\0\n\0F\0=\0\x31", 26)}},
                "Game",
                "ERROR: KavrinCars/MYCAR.ini is saved as UTF-16 BE: the plugin reads nothing from it and this car's ForceLodA is off; save it as ANSI or UTF-8 (in Notepad: Save As, Encoding)", 2, "", "WARNING: KavrinCars/MYCAR.ini: has no ForceLodA in [GENERAL]: this car's ForceLodA is off (1 more below)"},
        Mistake{"SettingsInUtf8WithItsMark",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "\xEF\xBB\xBF" + kGood}}, "Game",
                "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"ClassicMacLineEnds",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\rForceLodA=1\r"}}, "Game",
                "WARNING: ZorbelKavrin.ini: lines end in a carriage return only: the plugin reads the whole file as one line; save it with Windows (CR LF) or Unix (LF) line ends (1 more below)", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"NoBreakSpaceFromAWebPage",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nForceLodA\xC2\xA0= 1\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: 'ForceLodA<no-break space U+00A0>' is not read: a no-break space (pasted from a web page) is part of the key; type a plain space instead", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"HashIsNoComment",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\n#ForceLodA = 1\n"}}, "Game",
                "WARNING: ZorbelKavrin.ini:2: '#ForceLodA = 1' is no comment here but a key the plugin does not know, so the line is ignored; comments start with ';'", 1},
        Mistake{"SteerAngleBeyondAFloat",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle = 1e40\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: '1e40' is beyond the range of a float: the plugin stores an infinite steering angle; write a number such as 340", 1},
        Mistake{"DecimalComma",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nFrontSteerAngle = 12,5\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: '12,5' is read as 12: the decimal point is a full stop", 1},
        Mistake{"TrueForOne",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nExpandMemoryPools = true\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: ExpandMemoryPools = 'true' is not a number: the plugin reads 0 (off); write 1 to turn it on", 1},
        Mistake{"KeyInLowerCase",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[general]\nforcelodA = 1\n"}}, "Game",
                "WARNING: ZorbelKavrin.ini:2: 'forcelodA' is not read: keys are case-sensitive; write 'ForceLodA'", 1, "", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"NoSectionHeader",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "ForceLodA = 1\n"}}, "Game",
                "WARNING: ZorbelKavrin.ini:1: 'ForceLodA' stands before any section header: the plugin reads only [GENERAL]", 1},
        Mistake{"CtrlZInTheMiddle",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\n\x1A" "ForceLodA = 1\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: the byte 0x1A ends the text here: everything after it is never read", 1},
        Mistake{"ExeThatDoesNotExist",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}}, "Game",
                "ERROR: Game/game.exe: the file does not exist", 2, "Game/game.exe"},
        Mistake{"ExeThatIsNoProgram",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/game.exe", "not a program"},
                 {"Game/dinput8.dll", kLoader}},
                "Game",
                "ERROR: Game/game.exe: not a Windows executable (no MZ header)", 2, "Game/game.exe"},
        Mistake{"ScriptsInCapitals",
                {{"Game/Scripts/ZorbelKavrin.asi", ""}, {"Game/Scripts/ZorbelKavrin.ini", kGood}}, "Game",
                "OK: the plugin in Game/Scripts/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"CheckedInPlugins",
                {{"Game/plugins/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}}, "Game/plugins",
                "WARNING: Game/ZorbelKavrin.ini is read by no copy of the plugin: the plugin reads only the folder it lies in, Game/plugins/; move it there", 1, "", "OK: the plugin in Game/plugins/ will use the settings below, and nothing here looks like a mistake"},
        Mistake{"SettingsWithoutExtension",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin", kGood}}, "Game",
                "WARNING: ZorbelKavrin: is not read: the plugin reads only ZorbelKavrin.ini; its name has no extension; rename it to 'ZorbelKavrin.ini'", 1},
        Mistake{"CarFolderInsideKavrinCars",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood}, {"Game/KavrinCars/MYCAR/", ""}},
                "Game",
                "WARNING: KavrinCars/MYCAR: is a folder: it gets a record with ForceLodA off, and nothing in it is read", 1},
        Mistake{"CarWithoutForceLodA",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", kGood},
                 {"Game/KavrinCars/MYCAR.ini", "[GENERAL]\nForceLod = 1\n"}},
                "Game",
                "WARNING: KavrinCars/MYCAR.ini: has no ForceLodA in [GENERAL]: this car's ForceLodA is off (1 more below)", 1},
        Mistake{"SwitchSetToTwo",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nInfiniteTuningSliders = 2\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: InfiniteTuningSliders = '2' is read as 2: only 1 turns it on, so it is off", 1},
        Mistake{"KeyWrittenTwice",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nForceLodA = 0\nForceLodA = 1\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:3: 'ForceLodA' appears again: the plugin keeps line 2 and ignores this one", 1},
        Mistake{"KeyInAnotherSection",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\n[Cars]\nForceLodA = 1\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:3: 'ForceLodA' is in section [Cars]: the plugin reads only [GENERAL]", 1},
        Mistake{"SlashesWithoutASpace",
                {{"Game/ZorbelKavrin.asi", ""}, {"Game/ZorbelKavrin.ini", "[GENERAL]\nForceLodA = 1// all cars\n"}},
                "Game",
                "WARNING: ZorbelKavrin.ini:2: '//' without a space before it starts no comment: 'ForceLodA = 1// all cars' is read as it stands", 1},
        Mistake{"NoSuchFolder", {}, "Game",
                "ERROR: the folder Game does not exist or cannot be opened", 2},
        Mistake{"PluginOfThisRelease",
                {{"Game/scripts/ZorbelKavrin.asi", PluginOfVersion(1, 0, 0)}, {"Game/scripts/ZorbelKavrin.ini", kGood}},
                "Game", "OK: the plugin in Game/scripts/ will use the settings below, and nothing here looks like a mistake", 0},
        Mistake{"PluginOfAnotherRelease",
                {{"Game/scripts/ZorbelKavrin.asi", PluginOfVersion(1, 1, 0)}, {"Game/scripts/ZorbelKavrin.ini", kGood}},
                "Game", "WARNING: Game/scripts/ZorbelKavrin.asi is version 1.1.0, and this checker (with the README beside it) is version 1.0.0: they come from two releases; unzip the package of the version you want again, the update package if your settings should stay (ZorbelKavrin-README.txt, Updating)", 1},
        Mistake{"PluginChangedSinceTheRelease",
                {{"Game/game.exe", ""}, {"Game/dinput8.dll", kLoader}, {"Game/scripts/ZorbelKavrin.asi", "changed"},
                 {"Game/scripts/ZorbelKavrin.ini", kGood},
                 {"Game/ZorbelKavrin-SHA256SUMS.txt",
                  std::string(64, '0') + "  scripts/ZorbelKavrin.asi\n" + std::string(64, 'f') + "  scripts/ZorbelKavrin.ini\n"}},
                "Game", "WARNING: Game/scripts/ZorbelKavrin.asi does not match its checksum in ZorbelKavrin-SHA256SUMS.txt: it is not this release's file (changed, damaged, or replaced by an antivirus program); unzip the package again", 1},
        Mistake{"ChecksumListEditedByHand",
                {{"Game/scripts/ZorbelKavrin.asi", "x"}, {"Game/scripts/ZorbelKavrin.ini", kGood},
                 {"Game/ZorbelKavrin-SHA256SUMS.txt",
                  "2D711642B726B04401627CA9FBAC32F5C8530FB1903CC4DB02258717921A4881 *scripts/ZorbelKavrin.asi\r\n\r\n"
                  "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a488  scripts/zk-check.exe\n"}},
                "Game", "WARNING: Game/ZorbelKavrin-SHA256SUMS.txt:3: not a checksum line (64 hex digits, two spaces and a file name, as sha256sum writes them): the list was edited; unzip the package again for the original", 1},
        Mistake{"PluginWhoseVersionCannotBeRead",
                {{"Game/ZorbelKavrin.asi", "MZ"}, {"Game/ZorbelKavrin.ini", kGood}},
                "Game", "OK: the plugin in Game/ will use the settings below, and nothing here looks like a mistake", 0}};
}

}  // namespace player_mistakes
