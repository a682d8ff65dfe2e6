// The fixes of a folder with several fixable files, and a failure injected at every
// change they make (sys::FailWritesAfter): afterwards the folder is as it was, or
// each file holds its old bytes or its new ones, and the backup holds every file
// that changed or moved. On the checker's own file calls, so that the native tier
// runs it on POSIX and the Windows tier on Windows' (under Wine, strict).
// Header-only, for both.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "check.h"
#include "core/os.h"
#include "sys.h"

namespace fix_faults {

namespace sys = zk::check::sys;

// Every file below a folder, by its path relative to it, with its bytes; a folder
// as "path" + separator with no bytes.
inline std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& relative = "") {
    std::map<std::string, std::string> files;
    for (const sys::Entry& entry : sys::ListEverything(root + relative)) {
        const std::string path = relative + entry.Name;
        if (entry.IsFolder) {
            files[path + sys::kSeparator] = "";
            for (const auto& [inner, bytes] : Snapshot(root, path + sys::kSeparator)) files[inner] = bytes;
        } else {
            zk::os::ReadWholeFile(zk::os::PathFromUtf8(root + path), files[path]);
        }
    }
    return files;
}

// ASCII text as UTF-16 LE with its byte-order mark, as Notepad saves "Unicode".
inline std::string Utf16(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char c : text) bytes += std::string{c, '\0'};
    return bytes;
}

// The game folder: the plugin, the settings saved by Notepad as .txt with carriage
// returns alone, and three car files: one saved as .ini.txt, one as UTF-16, one with
// a key in the wrong letter case.
inline void MakeGame(const std::string& root) {
    const char separator = sys::kSeparator;
    std::string why;
    sys::MakeNewFolder(root + "KavrinCars", why);
    const std::pair<const char*, std::string> files[] = {
        {"ZorbelKavrin.asi", ""},
        {"ZorbelKavrin.ini.txt", "[GENERAL]\rFrontSteerAngle = 400\r"},
        {"KavrinCars|A.ini.txt", "[GENERAL]\nForceLodA = 1\n"},
        {"KavrinCars|B.ini", Utf16("[GENERAL]\r\nForceLodA=1")},
        {"KavrinCars|C.ini", "[GENERAL]\r\nforcelodA = 1 ; mine\r\n"},
    };
    for (const auto& [name, bytes] : files) {
        std::string path = name;
        for (char& c : path) c = c == '|' ? separator : c;
        ASSERT_TRUE(sys::WriteNewFile(root + path, bytes, why)) << path << ": " << why;
    }
}

inline void RemoveTree(const std::string& path) {
    for (const sys::Entry& entry : sys::ListEverything(path)) {
        if (entry.IsFolder) RemoveTree(path + entry.Name + sys::kSeparator);
        sys::RemoveEntry(path + entry.Name);
    }
    sys::RemoveEntry(path.substr(0, path.size() - 1));
}

// Runs the whole check: root (with its separator) is a scratch folder of the test's.
inline void ExpectNothingLostAtAnyFailure(const std::string& root) {
    const auto check = [](const std::string& game) {
        zk::check::Options options;
        options.PluginDir = game;
        const zk::check::Result result = zk::check::Run(options);
        zk::os::UsePluginFolder(zk::os::NativePath());
        return result;
    };
    // Once without a failure: the old and the new folder, and how many changes it takes.
    const std::string reference = root + "reference" + sys::kSeparator;
    std::string why;
    ASSERT_TRUE(sys::MakeNewFolder(reference.substr(0, reference.size() - 1), why)) << why;
    MakeGame(reference);
    const auto old = Snapshot(reference);
    const zk::check::Result planned = check(reference);
    ASSERT_EQ(planned.Fixes.size(), 4u) << zk::check::RenderText(planned);
    const zk::check::FixOutcome whole = zk::check::MakeFixes(planned);
    ASSERT_EQ(whole.Refused, "");
    ASSERT_FALSE(whole.Stopped);
    auto fixed = Snapshot(reference);
    const std::string backupName = whole.Backup.substr(reference.size());
    for (auto it = fixed.begin(); it != fixed.end();) it = it->first.rfind(backupName, 0) == 0 ? fixed.erase(it) : ++it;
    EXPECT_EQ(zk::check::Verdict(check(reference)).rfind("OK:", 0), 0u);
    std::set<std::string> oldBytes, newBytes;
    for (const auto& [path, bytes] : old) oldBytes.insert(bytes);
    for (const auto& [path, bytes] : fixed) newBytes.insert(bytes);

    int failures = 0;
    for (int allowed = 0; allowed < 200; ++allowed) {
        SCOPED_TRACE(testing::Message() << "the change after " << allowed << " fails");
        const std::string game = root + "game-" + std::to_string(allowed) + sys::kSeparator;
        ASSERT_TRUE(sys::MakeNewFolder(game.substr(0, game.size() - 1), why)) << why;
        MakeGame(game);
        const zk::check::Result result = check(game);
        sys::FailWritesAfter(allowed);
        const zk::check::FixOutcome outcome = zk::check::MakeFixes(result);
        sys::FailWritesAfter(-1);
        auto now = Snapshot(game);
        std::map<std::string, std::string> backup;
        if (!outcome.Backup.empty()) {
            const std::string name = outcome.Backup.substr(game.size());
            for (auto it = now.begin(); it != now.end();) {
                if (it->first.rfind(name, 0) == 0) {
                    backup[it->first.substr(name.size())] = it->second;
                    it = now.erase(it);
                } else {
                    ++it;
                }
            }
        }
        if (!outcome.Refused.empty()) {
            // Nothing at all: not even a backup.
            EXPECT_EQ(now, old) << outcome.Refused;
            EXPECT_EQ(outcome.Backup, "");
        } else {
            // Each file old or new; every one that changed or moved in the backup.
            for (const auto& [path, bytes] : now) {
                EXPECT_TRUE(oldBytes.count(bytes) != 0 || newBytes.count(bytes) != 0) << path << " is half of something";
            }
            for (const auto& [path, bytes] : old) {
                if (path.back() == sys::kSeparator || (now.count(path) != 0 && now.at(path) == bytes)) continue;
                EXPECT_EQ(backup[path], bytes) << path << " changed and its backup is not its old bytes";
            }
            EXPECT_EQ(now.size(), old.size()) << "a file of the fix is left over, or one is gone";
        }
        RemoveTree(game);
        if (outcome.Refused.empty() && !outcome.Stopped) {
            EXPECT_EQ(now, fixed);
            break;
        }
        ++failures;
    }
    EXPECT_GT(failures, 10) << "the fixes make fewer changes than expected: the failures did not reach them all";
    RemoveTree(reference);
}

}  // namespace fix_faults
