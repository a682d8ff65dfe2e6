// The parts of the checker and what they share; check.cpp's Run puts them
// together. Not for use outside the checker: check.h is its interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "settings/ini_document.h"
#include "sys.h"

namespace zk::check {

using sys::kSeparator;

// ---- Words (check.cpp) ----
std::string Fold(std::string_view text);  // A to Z made a to z, nothing else
// Quoted, control bytes as \xNN, a no-break space named.
std::string Quote(std::string_view text);
bool EndsWith(std::string_view text, std::string_view end);
std::string FloatText(float value);  // the shortest text that reads back as value
std::string Hex32(std::uint32_t value);  // "0x1A2B"
std::string FileNameOf(const std::string& path);  // after its last separator
// One file's warnings, from `first` on, by line; those about the whole file first.
void SortByLine(std::vector<Warning>& warnings, std::size_t first);

// ---- Lines (check_lines.cpp) ----
// Line-by-line checks of one settings file. keys: what the plugin reads of its
// GENERAL section.
void CheckLines(const std::string& file, const std::string& text, const IniDocument& document,
                const std::vector<std::string>& keys, bool isCar, std::vector<Warning>& warnings);
// The text with its no-break spaces, ANSI (A0) or UTF-8 (C2 A0), taken out.
std::string WithoutNoBreakSpaces(std::string_view text);

// ---- Files and encodings (check_files.cpp) ----
struct SettingsFile {
    bool Read = false;
    std::string Encoding;  // a wide encoding the file is saved in, if any
    std::string Text;      // after the text-mode translation
    IniDocument Document;  // as the plugin parses it
};
// A file beside the plugin, read once and parsed as the plugin does, with the
// warnings about its bytes as a whole.
SettingsFile ReadSettingsFile(const std::string& relative, const std::string& file, std::vector<Warning>& warnings);
// "what cannot be read: CAUSE", and the same with what follows and the fix.
std::string CannotRead(const std::string& what, sys::ReadFailure failure);
std::string UnreadableMessage(const std::string& what, const std::string& path, const std::string& consequence);

// The wide encoding a file's bytes are in ("UTF-16 LE", ...), or empty.
std::string WideEncoding(const std::string& bytes);

// ---- Fixes (check_fixes.cpp) ----
// Adds the fixes that are certain to result.Fixes, and marks the problems they mend.
// pluginEntries: what lies beside the plugin.
void PlanFixes(Result& result, const std::vector<sys::Entry>& pluginEntries);
// The move of a settings file or car folder beside the plugin, marked on its warning.
void PlanMove(Result& result, const std::string& from, const std::string& to, bool folder, Warning& warning);
// The text shown for a warning, as the report and the fixes name it.
std::string WarningText(const Warning& warning);

// ---- VirtualStore (check_virtualstore.cpp) ----
// Copies of the settings that Windows keeps for the game elsewhere: which copy the
// game reads, and the fix that puts the hidden one away.
void CheckVirtualStore(Result& result);

// ---- Layout and names (check_layout.cpp) ----
// Finds the plugin from the folder named, which may be its own or the game's, and
// what an ASI loader will load around it. Sets the folder the plugin reads and
// gives back what lies in it.
std::vector<sys::Entry> CheckLayout(const std::string& named, Result& result);
std::string ShownName(const std::string& name);  // as the player sees it
std::size_t CopyMark(const std::string& folded);  // where " - Copy" or " (2)" starts, or npos
std::string MeantName(const std::string& name);   // the name a player most likely meant
std::string NameMistake(const std::string& name, const std::string& meant);
bool SameName(const std::string& a, const std::string& b);  // the same entry to the plugin
PeVersion VersionOf(const std::string& path);  // of a program or DLL file, from its version resource
bool LoadsAsiFiles(const std::string& path);  // a DLL whose code names .asi files: an ASI loader
// Does text name .asi files, narrow or UTF-16? With more of it to come, a name whose
// last byte, or the byte after it, lies past the end is left for the next piece, which
// must begin with the last kAsiNameCarry bytes of this one.
bool MentionsAsiFiles(std::string_view text, bool more);
constexpr std::size_t kAsiNameCarry = 8;

// The first bytes of a program's file, through its PE header (the offset at 0x3C
// followed, up to 1 MiB in): all a check of its headers needs, whatever its size.
bool ReadProgramHeaders(const std::string& path, std::string& headers);

// ---- Files of any size ----
constexpr std::size_t kPieceBytes = 1 << 20;
// Reads a file piece by piece, so that the memory it takes stays the same whatever
// the file's size: visit(piece, last) for each, in order, until it returns false.
// False when the file cannot be read.
template <typename Visit>
bool ForEachPiece(const std::string& path, Visit visit) {
    std::string piece;
    for (std::uint64_t offset = 0;; offset += kPieceBytes) {
        if (!sys::ReadFileAt(path, offset, kPieceBytes, piece)) return false;
        const bool last = piece.size() < kPieceBytes;
        if (!visit(piece, last) || last) return true;
    }
}

}  // namespace zk::check
