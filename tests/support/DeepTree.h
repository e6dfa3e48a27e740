#pragma once
// A chain of nested directories, each holding one file, deeper than any
// path the system accepts whole can name. Made and removed relative to
// directory descriptors, since a path to its bottom is too long to use.
#include <cstdint>
#include <string>

class TDeepTree {
 public:
  // Levels directories named by nameLength times 'd', nested below root;
  // each holds "f.txt" of a few bytes.
  TDeepTree(const std::string& root, int levels, std::size_t nameLength);
  ~TDeepTree();
  TDeepTree(const TDeepTree&) = delete;
  TDeepTree& operator=(const TDeepTree&) = delete;

  std::int64_t Bytes() const { return TotalBytes; }
  // The full path of the bottom level's file.
  std::string DeepestFile() const { return Deepest; }

 private:
  std::string Top;
  std::int64_t TotalBytes = 0;
  std::string Deepest;
};
