// simhost-tests.exe --summarize REPORT.xml...: one line for a whole run of the
// tier, from GoogleTest's XML reports (one per code page), as the last line of
// run-windows-tier.cmd. A report that is missing or holds no test counts as failed.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string::npos) return "";
    const std::size_t start = at + key.size();
    const std::size_t end = tag.find('"', start);
    return end == std::string::npos ? "" : tag.substr(start, end - start);
}

struct Counts {
    int Passed = 0, Failed = 0, Skipped = 0;
};

// False when the file cannot be read or is no GoogleTest report.
bool Count(const std::string& xml, Counts* counts, std::string* strict, std::string* platform) {
    const std::size_t suites = xml.find("<testsuites ");
    if (suites == std::string::npos) return false;
    const std::string head = xml.substr(suites, xml.find('>', suites) - suites);
    *strict = Attribute(head, "strict_layer");
    *platform = Attribute(head, "platform");
    for (std::size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) {
        const std::size_t close = xml.find('>', at);
        if (close == std::string::npos) return false;
        const std::string tag = xml.substr(at, close - at);
        const bool alone = xml[close - 1] == '/';
        const std::size_t end = alone ? close : xml.find("</testcase>", close);
        const bool failed = !alone && xml.substr(close, end - close).find("<failure") != std::string::npos;
        if (failed) {
            ++counts->Failed;
        } else if (Attribute(tag, "result") == "skipped" || Attribute(tag, "status") == "notrun") {
            ++counts->Skipped;
        } else {
            ++counts->Passed;
        }
    }
    return true;
}

}  // namespace

int SummarizeReports(const std::vector<std::string>& reports) {
    Counts total;
    int strictRuns = 0, broken = 0;
    std::string platform;
    for (const std::string& report : reports) {
        std::ifstream in(report, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        Counts counts;
        std::string strict, where;
        const std::string name = report.substr(report.find_last_of("\\/") + 1);
        if (!in || !Count(text.str(), &counts, &strict, &where) || counts.Passed + counts.Failed + counts.Skipped == 0) {
            std::printf("%s: missing or empty: that run ended before its report\n", name.c_str());
            ++broken;
            continue;
        }
        std::printf("%s: %d passed, %d failed, %d skipped; strict layer %s\n", name.c_str(), counts.Passed,
                    counts.Failed, counts.Skipped, strict.empty() ? "?" : strict.c_str());
        total.Passed += counts.Passed;
        total.Failed += counts.Failed;
        total.Skipped += counts.Skipped;
        strictRuns += strict == "on";
        if (platform.empty()) platform = where;
    }
    total.Failed += broken;
    std::printf("windows-tier: %d passed, %d failed, %d skipped; strict layer %s (%d of %d runs), under %s\n",
                total.Passed, total.Failed, total.Skipped,
                strictRuns == static_cast<int>(reports.size()) ? "on" : strictRuns == 0 ? "off" : "partly on",
                strictRuns, static_cast<int>(reports.size()), platform.empty() ? "?" : platform.c_str());
    std::fflush(stdout);
    return total.Failed == 0 && !reports.empty() ? 0 : 1;
}
