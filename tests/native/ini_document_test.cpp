// The INI format, byte for byte: golden files (input next to its expected dump) and
// the lookup rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/ini_document.h"
#include "test_support.h"

using testing_support::DumpDocument;
using testing_support::ReadFile;
using zk::IniDocument;

namespace {

const std::string kCases = std::string(ZK_TEST_DATA) + "/ini/";

class GoldenIni : public testing::TestWithParam<std::string> {};

TEST_P(GoldenIni, LoadGivesTheExpectedDocument) {
    IniDocument document;
    ASSERT_TRUE(document.Load(kCases + GetParam() + ".ini"));
    EXPECT_EQ(DumpDocument(document), ReadFile(kCases + GetParam() + ".expected"));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenIni,
                         testing::Values("comments", "cleaning", "headers", "duplicates", "keys",
                                         "crlf", "cr_only", "ctrl_z", "byte_order",
                                         "lone_cr_before_lf"));

TEST(GoldenIniFiles, EveryCaseFileIsListed) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCases)) {
        count += entry.path().extension() == ".ini";
    }
    EXPECT_EQ(count, 10) << "a case file was added without being listed above";
}

IniDocument Parsed(std::string_view text) {
    IniDocument document;
    document.Parse(text);
    return document;
}

// ---- Text mode ----

TEST(TextMode, CrLfBecomesLfAndLoneCrStays) {
    EXPECT_EQ(zk::TranslateTextMode("a\r\nb\rc\r\r\n\n"), "a\nb\rc\r\n\n");
}

TEST(TextMode, TextEndsAtTheFirstCtrlZ) {
    EXPECT_EQ(zk::TranslateTextMode("a\r\x1A\nb\x1A"), "a\r");
    EXPECT_EQ(zk::TranslateTextMode("\x1A[GENERAL]"), "");
}

TEST(TextMode, CrAtTheEndOfTheTextStays) { EXPECT_EQ(zk::TranslateTextMode("a\r"), "a\r"); }

TEST(TextMode, NulBytesAreKept) {
    EXPECT_EQ(zk::TranslateTextMode(std::string("a\0b\r\n", 5)), std::string("a\0b\n", 4));
}

TEST(TextMode, CrLfLinesParseExactlyLikeLfLines) {
    EXPECT_EQ(DumpDocument(Parsed(zk::TranslateTextMode("[G]\r\nA = 1 ; x\r\nB=2\r\n"))),
              DumpDocument(Parsed("[G]\nA = 1 ; x\nB=2\n")));
}

// ---- Load and Parse results ----

TEST(Load, MissingFileIsFalseAndLeavesTheDocumentEmpty) {
    IniDocument document;
    EXPECT_FALSE(document.Load(kCases + "no-such-file.ini"));
    EXPECT_TRUE(document.Sections.empty());
}

TEST(Load, AFolderIsNotAFile) {
    IniDocument document;
    EXPECT_FALSE(document.Load(kCases));
    EXPECT_TRUE(document.Sections.empty());
}

TEST(Load, EmptyAndCtrlZOnlyFilesAreFalse) {
    testing_support::TempFolder folder;
    folder.Write("empty.ini", "");
    folder.Write("eof.ini", "\x1A[GENERAL]\nForceLodA=1\n");
    IniDocument document;
    EXPECT_FALSE(document.Load(folder.Path() + "empty.ini"));
    EXPECT_FALSE(document.Load(folder.Path() + "eof.ini"));
    EXPECT_TRUE(document.Sections.empty());
}

TEST(Parse, EmptyTextIsFalse) {
    IniDocument document;
    EXPECT_FALSE(document.Parse(""));
    EXPECT_TRUE(document.Sections.empty());
}

TEST(Parse, CommentsAndBlankLinesOnlyIsTrueButEmpty) {
    IniDocument document;
    // " //" alone is the shortest line that holds a comment mark: a comment too.
    EXPECT_TRUE(document.Parse("; one\n\n   \n // two\n //\n"));
    EXPECT_TRUE(document.Sections.empty());
    EXPECT_EQ(document.GetValue("GENERAL", "ForceLodA", "d"), "d");
}

TEST(Parse, LastLineWithoutLineFeedIsALine) {
    EXPECT_EQ(Parsed("[G]\nA=1").GetValue("G", "A", "d"), "1");
}

TEST(Parse, ASecondParseAddsWithoutReplacing) {
    IniDocument document;
    document.Parse("[G]\nA=1\n");
    document.Parse("[G]\nA=2\nB=3\n");
    EXPECT_EQ(document.GetValue("G", "A", "d"), "1");
    EXPECT_EQ(document.GetValue("G", "B", "d"), "3");
}

TEST(Parse, SectionExistsWithoutKeys) {
    EXPECT_EQ(Parsed("[GENERAL]\n").Sections.count("GENERAL"), 1u);
}

TEST(Parse, NulBytesInsideALineAreOrdinaryBytes) {
    const IniDocument document = Parsed(std::string("[G]\nA=1\0x\nB\0=2\n", 16));
    EXPECT_EQ(document.GetValue("G", "A", "d"), std::string("1\0x", 3));
    EXPECT_EQ(document.GetValue("G", std::string("B\0", 2), "d"), "2");
}

// ---- Lookups ----

TEST(GetValue, SectionNamesFoldAsciiCase) {
    const IniDocument document = Parsed("[general]\nForceLodA=1\n");
    EXPECT_EQ(document.GetValue("GENERAL", "ForceLodA", "0"), "1");
    EXPECT_EQ(document.GetValue("General", "ForceLodA", "0"), "1");
}

TEST(GetValue, KeysAreCaseSensitive) {
    const IniDocument document = Parsed("[GENERAL]\nforcelodA=1\n");
    EXPECT_EQ(document.GetValue("GENERAL", "ForceLodA", "0"), "0");
    EXPECT_EQ(document.GetValue("GENERAL", "forcelodA", "0"), "1");
}

TEST(GetValue, OnlyTheFirstMatchingSectionIsConsulted) {
    const IniDocument document = Parsed("[General]\nForceLodA=1\n[GENERAL]\nOther=2\n");
    EXPECT_EQ(document.GetValue("GENERAL", "ForceLodA", "d"), "d");
    EXPECT_EQ(document.GetValue("general", "Other", "d"), "2");
}

TEST(GetValue, FoldingIsAsciiOnly) {
    const IniDocument document = Parsed("[\xC3\x89T\xC3\x89]\nA=1\n[A\xE9]\nB=2\n");
    EXPECT_EQ(document.GetValue("\xC3\x89t\xC3\x89", "A", "d"), "1");
    EXPECT_EQ(document.GetValue("\xC3\xA9T\xC3\xA9", "A", "d"), "d");
    EXPECT_EQ(document.GetValue("a\xE9", "B", "d"), "2");
    EXPECT_EQ(document.GetValue("A\xC9", "B", "d"), "d");
    EXPECT_EQ(Parsed("[@]\nA=1\n").GetValue("`", "A", "d"), "d");
    EXPECT_EQ(Parsed("[[]\nA=1\n").GetValue("{", "A", "d"), "d");
    // The ends of the range fold as well: A and Z, on either side.
    EXPECT_EQ(Parsed("[AZ]\nA=1\n").GetValue("az", "A", "d"), "1");
    EXPECT_EQ(Parsed("[az]\nA=1\n").GetValue("AZ", "A", "d"), "1");
}

TEST(GetValue, SectionNamesOfOtherLengthNeverMatch) {
    const IniDocument document = Parsed("[GENERAL ]x\n[GENERALS]\nA=1\n");
    EXPECT_EQ(document.GetValue("GENERAL", "A", "d"), "d");
}

TEST(GetValue, EmptyValueIsReturnedNotTheDefault) {
    const IniDocument document = Parsed("[GENERAL]\nFlag\nEmpty=\n");
    EXPECT_EQ(document.GetValue("GENERAL", "Flag", "d"), "");
    EXPECT_EQ(document.GetValue("GENERAL", "Empty", "d"), "");
}

TEST(GetValue, KeysBeforeAnyHeaderLiveInTheEmptySection) {
    const IniDocument document = Parsed("ForceLodA=1\n[GENERAL]\n");
    EXPECT_EQ(document.GetValue("GENERAL", "ForceLodA", "d"), "d");
    EXPECT_EQ(document.GetValue("", "ForceLodA", "d"), "1");
}

TEST(GetValue, MissingSectionOrKeyGivesTheDefault) {
    const IniDocument document = Parsed("[GENERAL]\nA=1\n");
    EXPECT_EQ(document.GetValue("OTHER", "A", "def"), "def");
    EXPECT_EQ(document.GetValue("GENERAL", "B", ""), "");
}

// ---- Cleaning ----

TEST(Trim, SwitchesChooseTheEnds) {
    std::string both = " \t a b \r\n", front = both, back = both, none = both;
    zk::Trim(both, true, true);
    zk::Trim(front, true, false);
    zk::Trim(back, false, true);
    zk::Trim(none, false, false);
    EXPECT_EQ(both, "a b");
    EXPECT_EQ(front, "a b \r\n");
    EXPECT_EQ(back, " \t a b");
    EXPECT_EQ(none, " \t a b \r\n");
}

TEST(Trim, ByteOrderMarksGoWhateverTheSwitches) {
    std::string text = "\xEF\xBB\xBF\xEF\xBB\xBF x ";
    zk::Trim(text, false, false);
    EXPECT_EQ(text, " x ");
    std::string shortMark = "\xEF\xBB";
    zk::Trim(shortMark, true, true);
    EXPECT_EQ(shortMark, "\xEF\xBB");
    std::string afterSpace = " \xEF\xBB\xBF" "a";
    zk::Trim(afterSpace, true, true);
    EXPECT_EQ(afterSpace, "\xEF\xBB\xBF" "a");
}

TEST(Trim, OnlySixBytesAreWhitespace) {
    std::string text = "\x01\x09\x0A\x0B\x0C\x0D\x20\xA0\x85";
    zk::Trim(text, true, true);
    EXPECT_EQ(text, "\x01\x09\x0A\x0B\x0C\x0D\x20\xA0\x85");
    std::string inner = "\x09\x0A\x0B\x0C\x0D\x20x\x09\x0A\x0B\x0C\x0D\x20";
    zk::Trim(inner, true, true);
    EXPECT_EQ(inner, "x");
}

}  // namespace
