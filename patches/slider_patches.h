// The optional tuning-slider and autosculpt-slider changes to host code.
#pragma once

extern "C" {

#if defined(_WIN32) && defined(__i386__)
// Entered by the JMP written at 0x7E7E79 (naked; contract beside its definition).
void AutosculptSliderStub();
#endif
}

namespace zk {

// Writes the tuning-slider rows when InfiniteTuningSliders is set, then the
// autosculpt rows when InfiniteAutosculptSliders is set.
void ApplySliderPatches();

}  // namespace zk
