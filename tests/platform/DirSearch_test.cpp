#include "DirSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "File.h"
#include "NameOrder.h"
#include "TempDir.h"
#include "TestUtil.h"

using namespace Platform;
using TestUtil::WriteFile;

namespace {

std::vector<TSearchEntry> Search(const std::string& pattern, TAttributes set) {
  std::vector<TSearchEntry> found;
  TDirSearch search(pattern, set);
  for (TSearchEntry entry; search.Next(entry);) found.push_back(entry);
  return found;
}

// name -> (attributes, size)
using TListing = std::map<std::string, std::pair<TAttributes, std::int64_t>>;

TListing List(const std::string& pattern, TAttributes set) {
  TListing listing;
  for (const auto& e : Search(pattern, set)) {
    EXPECT_TRUE(listing.emplace(e.Name, std::make_pair(e.Attributes, e.Size)).second) << e.Name;
  }
  return listing;
}

}  // namespace

TEST(PlatformMask, ClassicWildcardRules) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"any.thing.at.all", "*", true}, {"README", "*.*", true}, {"a.b.c", "*.*", true},
      {".hidden.txt", "*.txt", true}, {"a.txt.bak", "*.txt", false}, {"txt", "*.txt", false},
      {"x.tar.gz", "*.tar.*", true}, {"abc", "a?c", true}, {"ac", "a?c", false},
      {"abbc", "a?c", false}, {"abc", "abc.*", true}, {"abc.def", "abc.*", true},
      {"abcd", "abc.*", false}, {"abc", "a*.*", true}, {"ABC.TXT", "abc.txt", true},
      {"abc.txt", "ABC.*", true}, {"data2", "data", false}, {"dat", "data", false},
      {"aXbXc", "*x*x*", true}, {"aXbc", "*x*x*", false}, {"a", "", false},
      // '?' is one character, also when it takes several bytes or is no UTF-8.
      {"中.txt", "?.txt", true}, {"中文.txt", "?.txt", false}, {"中", "*??", false},
      {"中文", "中*", true}, {"\xff", "?", true}, {"\xff\xfe", "?", false},
      {"\xc3\x84", "\xc3\xa4", false},  // only ASCII letters fold
      {"\xdb\xdb\xaa", "?\xdb*\xaa", false},  // no stray mask byte matches half a character
      // A final '.' asks for names without an extension.
      {"readme", "*.", true}, {"abc.", "*.", true}, {"a.txt", "*.", false},
      {".profile", "*.", false}, {"a.b.", "*.", false}, {"Abc", "a*.", true}, {"bc", "a*.", false},
  };
  for (const auto& [name, mask, matches] : cases) {
    EXPECT_EQ(MatchesMask(name, mask), matches) << name << " vs " << mask;
  }
}

TEST(PlatformDirSearch, AttributeSetDecidesWhatIsFound) {
  TTempDir dir;
  WriteFile(dir / "plain.txt", "12345");
  WriteFile(dir / ".hidden.txt", "1");
  WriteFile(dir / "ro.txt", "");
  ASSERT_EQ(chmod((dir / "ro.txt").c_str(), 0444), 0);
  const int fd = open((dir / "big").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(ftruncate(fd, (std::int64_t{3} << 30) + 5), 0);  // sparse, beyond 32 bits
  close(fd);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / ".hsub").c_str(), 0555), 0);

  const TListing files = {{"plain.txt", {0, 5}}, {"ro.txt", {faReadOnly, 0}},
                          {"big", {0, (std::int64_t{3} << 30) + 5}}};
  const TListing hiddenOrSystem = {{".hidden.txt", {faHidden, 1}}, {"fifo", {faSysFile, 0}}};
  const TListing dirs = {{".", {faDirectory, 0}}, {"..", {faDirectory, 0}},
                         {"sub", {faDirectory, 0}}};
  const TListing hiddenDir = {{".hsub", {faDirectory | faHidden | faReadOnly, 0}}};
  auto join = [](std::initializer_list<TListing> parts) {
    TListing all;
    for (const TListing& p : parts) all.insert(p.begin(), p.end());
    return all;
  };
  EXPECT_EQ(List(dir / "*", 0x21), files);
  EXPECT_EQ(List(dir / "*.*", 0x27), join({files, hiddenOrSystem}));
  EXPECT_EQ(List(dir / "*", 0x31), join({files, dirs}));
  EXPECT_EQ(List(dir / "*", 0x37), join({files, hiddenOrSystem, dirs, hiddenDir}));
  EXPECT_EQ(List(dir / "*", 0), files);  // read-only and archive never keep an entry out
}

TEST(PlatformDirSearch, MaskSelectsNamesAndAPlainNameFindsOnlyItself) {
  TTempDir dir;
  for (const char* name : {"a.txt", "B.TXT", ".h.txt", "abc", "abc.log", "note"}) {
    WriteFile(dir / name, "");
  }
  ASSERT_EQ(mkdir((dir / "data").c_str(), 0755), 0);
  auto names = [](const TListing& listing) {
    std::vector<std::string> result;
    for (const auto& item : listing) result.push_back(item.first);
    return result;
  };
  using TNames = std::vector<std::string>;
  EXPECT_EQ(names(List(dir / "*.txt", 0x21)), (TNames{"B.TXT", "a.txt"}));
  EXPECT_EQ(names(List(dir / "*.txt", 0x27)), (TNames{".h.txt", "B.TXT", "a.txt"}));
  EXPECT_EQ(names(List(dir / "abc.*", 0x21)), (TNames{"abc", "abc.log"}));
  // A plain name is looked up as it is written, with the same attribute rules.
  EXPECT_EQ(names(List(dir / "note", 0x21)), (TNames{"note"}));
  EXPECT_TRUE(Search(dir / "NOTE", 0x27).empty());
  EXPECT_TRUE(Search(dir / ".h.txt", 0x21).empty());
  EXPECT_EQ(names(List(dir / ".h.txt", 0x27)), (TNames{".h.txt"}));
  // An item naming a directory finds the directory, which a file search never reports.
  EXPECT_TRUE(Search(dir / "data", 0x27).empty());
  EXPECT_EQ(names(List(dir / "data", 0x31)), (TNames{"data"}));
  EXPECT_TRUE(Search(dir.Path() + "/", 0x37).empty());
}

TEST(PlatformDirSearch, SymbolicLinks) {
  TTempDir dir;
  WriteFile(dir / "target", "1234567");
  WriteFile(dir / "ro-target", "12");
  ASSERT_EQ(chmod((dir / "ro-target").c_str(), 0444), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  for (const auto& [target, link] : {std::pair{"target", "link"}, {"ro-target", "ro-link"},
                                     {"fifo", "fifo-link"}, {"nowhere", "dangling"},
                                     {".", "dir-link"}, {"/", "root-link"}}) {
    ASSERT_EQ(symlink(target, (dir / link).c_str()), 0);
  }
  const TListing links = List(dir / "*link*", 0x3F);
  EXPECT_EQ(links, (TListing{{"link", {0, 7}}, {"ro-link", {faReadOnly, 2}},
                             {"fifo-link", {faSysFile, 0}}}));
  EXPECT_EQ(List(dir / "dangling", 0x21), (TListing{{"dangling", {0, 0}}}));
  TReadFile file;
  EXPECT_EQ(file.Open(dir / "dangling"), ENOENT);
}

TEST(PlatformDirSearch, DirectoriesThatCannotBeSearchedYieldNothingAndSayWhy) {
  TTempDir dir;
  WriteFile(dir / "file", "x");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("loop", (dir / "loop").c_str()), 0);
  const std::pair<const char*, int> cases[] = {
      {"missing/*", ENOENT}, {"missing/a.txt", ENOENT}, {"file/*", ENOTDIR},
      {"fifo/*", ENOTDIR},   {"loop/*", ELOOP},         {"absent.txt", 0}};
  for (const auto& [pattern, code] : cases) {
    TDirSearch search(dir / pattern, 0x37);
    TSearchEntry entry;
    EXPECT_FALSE(search.Next(entry)) << pattern;
    EXPECT_EQ(search.Error(), code) << pattern;
  }
}

// Permissions bind everybody but root, so a test running as root drops to
// nobody in a child.
TEST(PlatformDirSearch, LockedDirectories) {
  TTempDir dir;
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  for (const auto& [name, mode] :
       {std::pair{"locked", 0}, {"listable", 0444}, {"searchable", 0111}}) {
    dir.WriteFile(std::string(name) + "/inner", "x");
    ASSERT_EQ(chmod((dir / name).c_str(), mode), 0);
  }
  const int result = TestUtil::RunInChild([&] {
    if (!TestUtil::BecomeUnprivileged()) return 10;
    auto errorOf = [](const std::string& pattern) {
      TDirSearch search(pattern, 0x37);
      for (TSearchEntry entry; search.Next(entry);) {
      }
      return search.Error();
    };
    TReadFile file;
    if (errorOf(dir / "locked/*") != EACCES || errorOf(dir / "locked/inner") != EACCES) return 1;
    // Listable but not searchable: the file is reported with size 0 and its
    // open then fails with the system's code.
    if (List(dir / "listable/*", 0x21) != TListing{{"inner", {0, 0}}}) return 2;
    if (file.Open(dir / "listable/inner") != EACCES) return 3;
    // Searchable but not listable: a plain name is still found, since it is
    // looked up rather than listed.
    if (errorOf(dir / "searchable/*") != EACCES) return 4;
    if (List(dir / "searchable/inner", 0x21) != TListing{{"inner", {0, 1}}}) return 5;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

// Whatever order the file system lists them in.
TEST(PlatformDirSearch, EntriesComeInNameOrderWithRawNames) {
  TTempDir dir;
  const std::string odd = "\xff\xfe-not-utf8 \x80.bin";
  for (const std::string& name : {std::string("zeta"), std::string("alpha"), odd,
                                  std::string("文件.txt"), std::string("mid")}) {
    WriteFile(dir / name, name);
  }
  std::vector<std::string> raw, found;
  DIR* listing = opendir(dir.Path().c_str());
  ASSERT_NE(listing, nullptr);
  while (const dirent* item = readdir(listing)) raw.emplace_back(item->d_name);
  closedir(listing);
  for (const auto& e : Search(dir / "*.*", 0x37)) found.push_back(e.Name);
  std::sort(raw.begin(), raw.end(), Platform::NameBefore);
  EXPECT_EQ(found, raw);

  EXPECT_EQ(List(dir / "*.bin", 0x21), (TListing{{odd, {0, std::int64_t(odd.size())}}}));
  TReadFile file;
  EXPECT_EQ(file.Open(dir / odd), 0);
}

TEST(PlatformDirSearch, RelativePatternsSearchFromTheWorkingDirectory) {
  TTempDir dir;
  WriteFile(dir / "x.probe", "");
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  WriteFile(dir / "sub/y.probe", "");
  // chdir is process-wide, so it happens in a child.
  const int result = TestUtil::RunInChild([&] {
    if (chdir(dir.Path().c_str()) != 0) return 10;
    if (List("*.probe", 0x21) != TListing{{"x.probe", {0, 0}}}) return 11;
    if (List("sub/*.probe", 0x21) != TListing{{"y.probe", {0, 0}}}) return 12;
    return 0;
  });
  EXPECT_EQ(result, 0);
}
