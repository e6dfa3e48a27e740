#pragma once
// The calling thread's share of the disk and of the processors.
namespace Platform {

// Gives the calling thread's disk requests the lowest level of the usual
// class. Not the idle class: the counting walk reads the very inodes the
// worker stats moments later, and an idle request the scheduler holds back
// behind other traffic kept the worker waiting on it (a cold run took
// nearly twice as long). Served in turn, the walk's reads only bring the
// inodes in ahead of the worker. False where the system refuses (the work
// then simply runs at the usual priority).
bool LowerThreadIoPriority();

// Makes the calling thread give way on the processors to the process's
// other threads (nice 10): for work that can wait a moment and catch up,
// beside threads that keep a medium busy. False where the system refuses.
bool LowerThreadCpuPriority();

}  // namespace Platform
