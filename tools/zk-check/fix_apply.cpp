// Making the planned fixes (check_fixes.cpp) without losing anything:
//  1. each fix whose file changed since the check, is a link or is held open by
//     another program is left alone, and named;
//  2. every folder that will be written is tried first, and every file that will be
//     replaced must not be read-only: where one fails, nothing is changed at all;
//  3. every file that will change or move is copied into one new backup folder,
//     ZorbelKavrin-backup-YYYYMMDD-HHMMSS beside the settings (the layout of the game
//     folder under it), and each copy is read back and compared byte for byte; if
//     that fails, the backup is removed again and nothing is changed;
//  4. the changes, in order: a file's new content written to a new file beside it,
//     flushed, then put in its place in one replace; renames and moves in one step,
//     never over another file. The first that fails stops the rest: each file is
//     then the old one or the new one, and the backup holds every original.
// The VirtualStore copies are moved whole into a folder of their own under
// %LOCALAPPDATA%: that move is their backup.
#include "check_parts.h"

#include <algorithm>
#include <ctime>

namespace zk::check {
namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

bool ReadBytes(const std::string& path, std::string& bytes) {
    return os::ReadWholeFile(os::PathFromUtf8(path), bytes);
}

std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// A new folder named `base` (or base-2, base-3, ... when that name is taken), with
// the separator at its end; empty, with why, when none can be made.
std::string NewFolder(const std::string& base, std::string& why) {
    for (int number = 1; number < 100; ++number) {
        const std::string name = base + (number > 1 ? "-" + std::to_string(number) : "");
        std::string bytes;
        if (!sys::ListEverything(name).empty() || ReadBytes(name, bytes) || sys::IsLink(name)) continue;
        if (sys::MakeNewFolder(name, why)) return name + kSeparator;
        if (why != "something of that name is there already") return "";
    }
    return "";
}

// Makes each missing folder of `relative`'s path below base (relative names a
// file); records what it made.
bool MakeFolders(const std::string& base, const std::string& relative, std::vector<std::string>& made,
                 std::string& why) {
    for (std::size_t cut = relative.find_first_of("\\/"); cut != std::string::npos;
         cut = relative.find_first_of("\\/", cut + 1)) {
        const std::string folder = base + relative.substr(0, cut);
        if (std::find(made.begin(), made.end(), folder) != made.end()) continue;
        if (sys::MakeNewFolder(folder, why)) {
            made.push_back(folder);
        } else if (why != "something of that name is there already") {
            return false;
        }
    }
    return true;
}

// The files a fix changes or moves, in full, with their paths relative to its base.
std::vector<std::pair<std::string, std::string>> FilesOf(const Fix& fix) {
    if (!fix.Folder) return {{fix.From, fix.Relative}};
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<std::string, std::string>> pending{{fix.From + kSeparator, fix.Relative + kSeparator}};
    while (!pending.empty()) {
        const auto [folder, relative] = pending.back();
        pending.pop_back();
        for (const sys::Entry& entry : sys::ListEverything(folder)) {
            if (entry.IsFolder) {
                pending.push_back({folder + entry.Name + kSeparator, relative + entry.Name + kSeparator});
            } else {
                files.push_back({folder + entry.Name, relative + entry.Name});
            }
        }
    }
    return files;
}

// Writes bytes over path in one replace: a new file beside it first.
bool Replace(const std::string& path, const std::string& bytes, const std::string& seen, std::string& why) {
    std::string temporary;
    for (int number = 1; number < 100 && temporary.empty(); ++number) {
        const std::string name = path + ".zk-new" + (number > 1 ? std::to_string(number) : "");
        std::string there;
        if (!ReadBytes(name, there) && !sys::IsLink(name)) temporary = name;
    }
    if (temporary.empty() || !sys::WriteNewFile(temporary, bytes, why)) return false;
    std::string now;
    if (!seen.empty() && (!ReadBytes(path, now) || now != seen)) {
        sys::RemoveEntry(temporary);
        why = "it changed since it was checked";
        return false;
    }
    if (!sys::ReplaceFileWith(temporary, path, why)) {
        sys::RemoveEntry(temporary);
        return false;
    }
    return true;
}

std::string Reason(const std::string& path, const std::string& why) {
    return path + " cannot be written (" + why + ")";
}

}  // namespace

FixOutcome MakeFixes(const Result& result) {
    FixOutcome outcome;
    outcome.Attempted = true;
    for (const std::string& fix : result.ErrorFixes) outcome.Uncertain += fix.empty();
    for (const Warning& warning : result.Warnings) outcome.Uncertain += warning.Fix.empty();
    if (result.Fixes.empty()) return outcome;

    // 1. Which fixes can be made at all.
    std::vector<const Fix*> ready;
    for (const Fix& fix : result.Fixes) {
        std::string now;
        std::string why;
        if (sys::IsLink(fix.From)) {
            why = "it is a link";
        } else if (!fix.Folder && (!ReadBytes(fix.From, now) || now != fix.Seen)) {
            why = "it changed since it was checked";
        } else if (!fix.Folder && sys::IsLocked(fix.From)) {
            why = "another program holds it open (the game, an editor): close it and run this again";
        } else if (!fix.To.empty() && (ReadBytes(fix.To, now) || !sys::ListEverything(fix.To).empty())) {
            why = FileNameOf(fix.To) + " is there already";
        }
        if (why.empty()) {
            ready.push_back(&fix);
        } else {
            outcome.Fixes.push_back({fix.Does, false, "left alone: " + why});
        }
    }
    if (ready.empty()) return outcome;

    // 2. Every folder written, tried; no file to replace read-only.
    std::vector<std::string> folders{result.PluginFolder};
    const auto written = [&folders](const std::string& folder) {
        for (const std::string& known : folders) {
            if (Fold(known) == Fold(folder)) return;
        }
        folders.push_back(folder);
    };
    for (const Fix* fix : ready) {
        if (fix->What == Fix::Kind::Hide) {
            written(sys::LocalAppData());
            written(FolderOf(fix->From));
            continue;
        }
        written(FolderOf(fix->From));
        if (!fix->To.empty()) written(FolderOf(fix->To));
        if (fix->Rewrites && fix->What == Fix::Kind::Rewrite && sys::IsReadOnly(fix->From)) {
            outcome.Refused = "nothing was changed: " + fix->From +
                              " is read-only: clear Read-only in its Properties and run this again";
            return outcome;
        }
    }
    for (const std::string& folder : folders) {
        const std::string probe = folder + ".zk-check-write-test";
        std::string why;
        if (!sys::WriteNewFile(probe, "", why)) {
            outcome.Refused = "nothing was changed: " + Reason(folder, why) +
                              ": run zk-check.exe as administrator (right-click it, Run as administrator), or move "
                              "the game out of Program Files";
            return outcome;
        }
        sys::RemoveEntry(probe);
    }

    // 3. The backup, checked byte for byte; removed again if it cannot be made whole.
    std::string why;
    const std::string stamp = Stamp();
    bool hides = false, keeps = false;
    for (const Fix* fix : ready) (fix->What == Fix::Kind::Hide ? hides : keeps) = true;
    std::vector<std::string> made;  // files and folders of the backup, in the order made
    const auto undo = [&made] {
        for (auto it = made.rbegin(); it != made.rend(); ++it) sys::RemoveEntry(*it);
    };
    if (keeps) outcome.Backup = NewFolder(result.PluginFolder + "ZorbelKavrin-backup-" + stamp, why);
    if (keeps && outcome.Backup.empty()) {
        outcome.Refused = "nothing was changed: the backup folder cannot be made: " + Reason(result.PluginFolder, why);
        outcome.Backup.clear();
        return outcome;
    }
    if (keeps) made.push_back(outcome.Backup.substr(0, outcome.Backup.size() - 1));
    for (const Fix* fix : ready) {
        if (fix->What == Fix::Kind::Hide) continue;
        for (const auto& [path, relative] : FilesOf(*fix)) {
            std::string bytes, back;
            const std::string copy = outcome.Backup + relative;
            bool copied = ReadBytes(path, bytes) && MakeFolders(outcome.Backup, relative, made, why) &&
                          sys::WriteNewFile(copy, bytes, why);
            if (copied) {
                made.push_back(copy);
                ++outcome.BackedUp;
            }
            if (copied && (!ReadBytes(copy, back) || back != bytes)) {
                why = "the copy of " + path + " reads back otherwise";
                copied = false;
            }
            if (!copied) {
                undo();
                outcome.Refused = "nothing was changed: the backup could not be made (" + copy + ": " +
                                  (why.empty() ? "it cannot be read" : why) + ")";
                outcome.Backup.clear();
                return outcome;
            }
        }
    }
    if (hides) {
        outcome.HiddenBackup = NewFolder(sys::LocalAppData() + "ZorbelKavrin-VirtualStore-backup-" + stamp, why);
        if (outcome.HiddenBackup.empty()) {
            undo();
            outcome.Refused = "nothing was changed: no folder can be made under " + sys::LocalAppData() + " (" + why + ")";
            outcome.Backup.clear();
            return outcome;
        }
    }

    // 4. The changes, in order, until one fails.
    std::vector<std::string> hiddenFolders;
    for (const Fix* fix : ready) {
        if (outcome.Stopped) {
            outcome.Fixes.push_back({fix->Does, false, "not made: the fixes stopped before it"});
            continue;
        }
        why.clear();
        bool done = false;
        switch (fix->What) {
            case Fix::Kind::Rewrite: done = Replace(fix->From, fix->Bytes, fix->Seen, why); break;
            case Fix::Kind::Rename:
            case Fix::Kind::Move:
                done = sys::MoveEntry(fix->From, fix->To, false, why) &&
                       (!fix->Rewrites || Replace(fix->To, fix->Bytes, fix->Seen, why));
                break;
            case Fix::Kind::Hide:
                done = MakeFolders(outcome.HiddenBackup, fix->Relative, hiddenFolders, why) &&
                       sys::MoveEntry(fix->From, outcome.HiddenBackup + fix->Relative, true, why);
                break;
        }
        outcome.Fixes.push_back({fix->Does, done, done ? "" : "stopped: " + why});
        outcome.Stopped = !done;
    }
    return outcome;
}

}  // namespace zk::check
