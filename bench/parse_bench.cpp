// Parsing a 1 MB settings text.
#include <benchmark/benchmark.h>

#include <string>

#include "settings/ini_document.h"

namespace {

std::string MegabyteOfSettings() {
    std::string text = "\xEF\xBB\xBF; generated\r\n";
    for (int section = 0; text.size() < (1u << 20); ++section) {
        text += "[SECTION_" + std::to_string(section) + "] ; a comment\r\n";
        for (int key = 0; key < 40 && text.size() < (1u << 20); ++key) {
            text += "  Key" + std::to_string(key) + " = value " + std::to_string(section * key) +
                    " // trailing note\r\n";
        }
    }
    return text;
}

void BM_ParseMegabyte(benchmark::State& state) {
    const std::string bytes = MegabyteOfSettings();
    for (auto _ : state) {
        zk::IniDocument document;
        document.Parse(zk::TranslateTextMode(bytes));
        benchmark::DoNotOptimize(document.Sections.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_ParseMegabyte)->Unit(benchmark::kMillisecond);
