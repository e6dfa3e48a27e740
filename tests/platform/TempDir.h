#pragma once
// A temporary folder per test, removed with everything in it afterwards.
// Tests never change the working directory, since tests may run in threads.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace PlatformTest {

class TTempDir {
 public:
  TTempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/korvane-platform-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) Path = pattern;
    EXPECT_FALSE(Path.empty()) << "mkdtemp failed";
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(Path, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // Full path of a name inside the folder.
  std::string operator/(std::string_view name) const { return Path + "/" + std::string(name); }

  std::string Path;
};

inline void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs check in a forked child (for process-wide changes such as chdir or
// setlocale) and returns its exit code; the child's code 0 means success.
// The child leaves by _exit so that it never runs the parent's destructors,
// which would remove the parent's temporary folder.
template <typename F>
int RunInChild(F check) {
  const pid_t child = fork();
  if (child == 0) _exit(check());
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace PlatformTest
