#pragma once
// The calling thread's share of the disk and of the processors.
namespace Platform {

// Gives the calling thread's disk requests the idle class (served only
// when no other request waits) and the thread itself the lowest CPU
// priority, so that work on the side never slows the reads that matter.
// False where the system refuses (the work then simply runs at the usual
// priority).
bool LowerThreadPriority();

}  // namespace Platform
