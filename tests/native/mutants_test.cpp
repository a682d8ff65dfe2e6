// The mutation catalogue (scripts/mutants.txt) still fits today's sources: every
// mutant's text stands exactly once in its file, so that scripts/mutate, a run of
// half an hour, finds each one. Read as scripts/mutate reads it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const std::string kRoot = std::string(ZK_TEST_DATA) + "/../../../";

struct Mutant {
    std::size_t Line = 0;
    std::map<char, std::string> Parts;  // '@' file, '-' old, '+' new, '?' what, '=' why equivalent
};

std::vector<Mutant> ReadCatalogue() {
    std::ifstream in(kRoot + "scripts/mutants.txt");
    std::vector<Mutant> mutants;
    Mutant block;
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (line.rfind('#', 0) == 0) continue;
        if (line.find_first_not_of(" \t") == std::string::npos) {
            if (!block.Parts.empty()) mutants.push_back(block);
            block = {};
            continue;
        }
        if (block.Parts.empty()) block.Line = number;
        block.Parts[line[0]] = line.size() > 2 ? line.substr(2) : "";
    }
    if (!block.Parts.empty()) mutants.push_back(block);
    return mutants;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(MutationCatalogue, EveryMutantAppliesOnceToTodaysSources) {
    const std::vector<Mutant> mutants = ReadCatalogue();
    ASSERT_GT(mutants.size(), 60u);
    for (std::size_t i = 0; i < mutants.size(); ++i) {
        const Mutant& mutant = mutants[i];
        SCOPED_TRACE("mutant " + std::to_string(i + 1) + ", scripts/mutants.txt:" + std::to_string(mutant.Line));
        for (char part : {'@', '-', '+', '?'}) ASSERT_EQ(mutant.Parts.count(part), 1u) << "no '" << part << "' line";
        const std::string& file = mutant.Parts.at('@');
        std::ifstream in(kRoot + file, std::ios::binary);
        ASSERT_TRUE(in) << file << " is gone";
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(Count(text.str(), mutant.Parts.at('-')), 1u) << file << ": " << mutant.Parts.at('-');
        EXPECT_NE(mutant.Parts.at('-'), mutant.Parts.at('+')) << "changes nothing";
    }
}

}  // namespace
