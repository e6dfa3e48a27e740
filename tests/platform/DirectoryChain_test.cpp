#include "DirectoryChain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "File.h"
#include "TempDir.h"

using namespace Platform;

// With room for one open directory below the start, the way back up opens
// the others again by name; one replaced in the meantime must not be taken
// for the directory the walk went down into.
TEST(PlatformDirectoryChain, BoundedDescriptorsAndACheckedWayBack) {
  TTempDir dir;
  dir.WriteFile("a/b/c/file", "x");
  std::filesystem::create_directory_symlink(dir.PathOf("a"), dir.PathOf("a/b/link"));
  TDirectoryChain chain(dir.Path(), 1);
  for (const char* name : {"a", "b", "c"}) chain.Enter(name);
  EXPECT_EQ(chain.OpenBelowStart(), 1u);
  TReadFile file;
  EXPECT_EQ(file.Open(chain, "file"), 0);
  chain.Leave();
  EXPECT_EQ(chain.Error(), 0);
  chain.Enter("link");
  EXPECT_EQ(chain.Error(), ENOTDIR) << "a link is never entered";
  chain.Leave();
  EXPECT_EQ(chain.OpenBelowStart(), 1u);
  std::filesystem::rename(dir.PathOf("a"), dir.PathOf("moved"));
  dir.MakeDir("a/b");
  chain.Leave();
  EXPECT_EQ(chain.Error(), ENOENT);
  chain.Enter("b");
  EXPECT_EQ(chain.Error(), ENOENT);
}
