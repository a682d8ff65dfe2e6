// The whole start-up: settings first, then every write into host memory in order.
#pragma once

namespace zk {

// Called once from the process-attach notification after the build check passed.
// If the settings load ends abnormally, nothing is written.
void ApplyStartupPatches();

}  // namespace zk
