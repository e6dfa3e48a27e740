#pragma once
// Small helpers for tests that work with whole files and with process-wide
// state.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace TestUtil {

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

// In a child of RunInChild: as root, becomes the unprivileged user nobody
// so that file permissions apply; anybody else already is bound by them.
inline bool BecomeUnprivileged() {
  if (geteuid() != 0) return true;
  constexpr uid_t Nobody = 65534;
  return setgroups(0, nullptr) == 0 && setresgid(Nobody, Nobody, Nobody) == 0 &&
         setresuid(Nobody, Nobody, Nobody) == 0;
}

}  // namespace TestUtil
