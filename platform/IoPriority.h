#pragma once
// The calling thread's share of the disk.
namespace Platform {

// Gives the calling thread's disk requests the idle class: they are served
// only when no other request waits, so work on the side never slows the
// reads that matter. False where the system refuses (the work then simply
// runs at the usual priority).
bool LowerThreadIoPriority();

}  // namespace Platform
