#pragma once
// The main of a benchmark program that measures as users run: every benchmark case the command
// line selects runs in a process of its own, started for it, with the allocator as it comes (no
// heap settings, no environment tunables). A case's first call then meets the memory a fresh
// process meets, whatever ran before it.

namespace CoreIoBench {

// Lists the cases that the command line's filter selects, then runs each in a new process of this
// program (the same arguments, its own filter); the machine's description is printed once.
// Returns 0 when every case's process succeeded, else 1.
int runEachCaseInFreshProcess(int argc, char** argv);

}  // namespace CoreIoBench
