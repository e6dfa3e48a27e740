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

TSubdirectories TSubdirectoryCache::List(const TDirectoryChain& chain, TAttributes fileAttributes) {
  const TFileIdentity directory = chain.Identity();
  // A directory that cannot be examined is listed every time.
  if (directory.Inode == 0) return ListSubdirectories(chain, fileAttributes);
  for (const TEntry& entry : Entries) {
    if (entry.Directory == directory && entry.Attributes == fileAttributes) return entry.Found;
  }
  TSubdirectories found = ListSubdirectories(chain, fileAttributes);
  if (found.Error != 0 || found.Names.size() > MaxNames) return found;
  Names += found.Names.size();
  Entries.push_back({directory, fileAttributes, found});
  while (Entries.size() > MaxDirectories || Names > MaxNames) {
    Names -= Entries.front().Found.Names.size();
    Entries.pop_front();
  }
  return found;
}
