#pragma once
#include <string>

namespace Platform {

// Takes the Chinese message texts while the process can still open files;
// called once at start (InitializeProcess). Later lookups need no file.
void PrepareSystemErrorTexts();

// The system's Simplified Chinese message for an error code (UTF-8), or the
// untranslated message where no translation is installed; empty for 0 and
// for codes the system has no message for. Thread-safe.
std::string SystemErrorText(int code);

// Whether a failure with this code says that the medium itself is gone (a
// disk unplugged, a network or FUSE mount whose server went away), rather
// than that the file is bad.
bool MediumGone(int code);
// The system's code for an operation that timed out (ETIMEDOUT).
int TimedOutCode();

}  // namespace Platform
