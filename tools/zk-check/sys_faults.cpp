// The failure the tests inject into the calls of sys.h that change a player's files,
// on every platform: after a given number of them, each fails.
#include "sys.h"

namespace zk::check::sys {
namespace {

int gWritesLeft = -1;  // -1: no failure injected

}  // namespace

void FailWritesAfter(int writes) { gWritesLeft = writes; }

bool WriteAllowed(std::string& why) {
    if (gWritesLeft < 0) return true;
    if (gWritesLeft == 0) {
        why = "the test's injected failure";
        return false;
    }
    --gWritesLeft;
    return true;
}

}  // namespace zk::check::sys
