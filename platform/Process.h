#pragma once
#include <string>

namespace Platform {

// Directory of the running executable, without a trailing '/'.
std::string ExecutableDirectory();

// Process-wide start-up: takes the user's locale and the Chinese error
// texts, and ignores SIGPIPE.
void InitializeProcess();

// The machine's name; empty when the system gives none.
std::string HostName();

}  // namespace Platform
