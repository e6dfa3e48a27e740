#pragma once
// A fresh directory of one test's own under $TMPDIR (or /tmp), removed with
// everything in it when the object goes away.
#include <string>

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // Canonical absolute path, no trailing '/'.
  const std::string& Path() const;
  std::string PathOf(const std::string& relative) const;
  std::string operator/(const std::string& relative) const { return PathOf(relative); }
  // Both create missing parent directories. A failure is reported to the
  // running test (non-fatally) and returns false.
  bool WriteFile(const std::string& relative, const std::string& content);
  bool MakeDir(const std::string& relative);

 private:
  std::string Root;
};
