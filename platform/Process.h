#pragma once
#include <string>

namespace Platform {

// Directory of the running executable, without a trailing '/'.
std::string ExecutableDirectory();

// Opens /dev/null onto each of descriptors 0 to 2 that is closed (a
// program started with `>&- 2>&-`), before anything else opens a file:
// otherwise the next file opened would take the number and messages
// meant for standard error would go into it.
void OpenMissingStandardDescriptors();

// Process-wide start-up: takes the user's locale and the Chinese error
// texts, and ignores SIGPIPE.
void InitializeProcess();

// The machine's name; empty when the system gives none.
std::string HostName();

}  // namespace Platform
