#include "DepthFirstWalk.h"

#include "DirSearch.h"

using namespace Platform;

TSubdirectories ListSubdirectories(const TDirectoryChain& chain, TAttributes fileAttributes) {
  TSubdirectories found;
  TDirSearch search(chain, "*.*", fileAttributes | faDirectory, TDirSearch::OnlyDirectories);
  for (TSearchEntry entry; search.Next(entry);) {
    if (entry.Name != "." && entry.Name != "..") found.Names.push_back(entry.Name);
  }
  found.Error = search.Error();
  return found;
}
