// Helpers of the native tests: scratch folders and a readable dump of a document.
#pragma once

#include <string>

#include "settings/ini_document.h"

namespace testing_support {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }  // ends with '/'
    void Write(const std::string& relative, const std::string& bytes) const;
    void MakeFolder(const std::string& relative) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);

// [section] lines and key=value lines in stored order; bytes below 0x20, 0x7F and
// above, and the backslash, written as \xNN.
std::string DumpDocument(const zk::IniDocument& document);

// GlobalSettings zeroed, registry emptied, the plugin folder pointed at a folder.
void ResetPluginState(const std::string& pluginFolder);

}  // namespace testing_support
