// The folder the plugin reads its settings from: its own module's, unless a tool
// or a test named another. The same on every platform; only ModuleFolder differs.
#include "core/os.h"

namespace zk::os {
namespace {

bool gHasPluginFolder = false;
NativePath gPluginFolder;
NativePath gModuleFolder;

}  // namespace

NativePath PluginFolder() {
    if (gHasPluginFolder) return gPluginFolder;
    if (gModuleFolder.empty()) gModuleFolder = ModuleFolder();  // asked once, not per file
    return gModuleFolder;
}

void UsePluginFolder(const NativePath& folder) {
    gPluginFolder = folder;
    gHasPluginFolder = !folder.empty();
}

}  // namespace zk::os
