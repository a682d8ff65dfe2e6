#include "test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cars/car_settings.h"
#include "core/os.h"
#include "settings/global_settings.h"

namespace testing_support {

TempFolder::TempFolder() {
    char pattern[] = "/tmp/zk-native-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = std::string(pattern) + "/";
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path path = path_ + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempFolder::MakeFolder(const std::string& relative) const {
    std::filesystem::create_directories(path_ + relative);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace

std::string DumpDocument(const zk::IniDocument& document) {
    std::string dump;
    for (const auto& [name, keys] : document.Sections) {
        dump += "[" + Escape(name) + "]\n";
        for (const auto& [key, value] : keys) dump += Escape(key) + "=" + Escape(value) + "\n";
    }
    return dump;
}

void ResetPluginState(const std::string& pluginFolder) {
    zk::GlobalSettings = zk::GlobalSettingsRecord{};
    zk::CarSettingsRegistry.clear();
    zk::os::UsePluginFolder(pluginFolder);
}

}  // namespace testing_support
