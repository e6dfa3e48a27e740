#pragma once
// A run's checksum files: the files they list are compared with what the
// run reads, and the files read correctly may be listed in a new one.
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ContentCheck.h"
#include "DigestSet.h"
#include "HashPool.h"
#include "Manifest.h"

class TSumsCheck final : public TContentCheck {
 public:
  TSumsCheck();

  // The files a manifest lists, by names relative to its directory.
  // Returns how many of its lines were taken for SHA-512 by their length
  // alone: a file that matches as BLAKE2b instead is correct too.
  std::size_t AddManifest(const std::string& manifestPath, const TManifest& manifest);
  // Lists every file read correctly for a new manifest at manifestPath.
  void MakeManifest(const std::string& manifestPath, const TManifestStyle& style);
  // With no items of their own, the manifests decide which files are
  // checked: their directories are walked (ManifestItems), files they do not
  // list are only named, and listed files no walk meets are checked after.
  void SetListedOnly(bool listedOnly) { ListedOnly = listedOnly; }
  bool Checking() const { return !ManifestDirectories.empty(); }
  // With items given: the walks they make ("DIR/MASK"), so that a listed
  // file that is not there is missed where one of them would have met it,
  // as if its name had been given. Items that name one file are left out:
  // the run says itself when such a one is not there.
  void SetItemWalks(const std::vector<std::string>& items, bool subdirectories, bool hidden);
  // After the run: the listed files it expected and did not find.
  const std::vector<std::string>& MissingFiles() const { return Missing; }
  // "DIR/*" for each manifest's directory, without one inside another.
  std::vector<std::string> ManifestItems() const;

  bool Wanted(const std::string& path) override;
  TDataSink* BeginFile(const std::string& path) override;
  void FileRead(const std::string& path, TContentVerdict verdict) override;
  void FileDropped() override;
  std::vector<std::string> FilesNotMet() override;
  TCountChoice CountChoice(const std::string& path) const override;
  std::vector<std::string> AfterWalks() const override;
  bool SearchMatters(const std::string& directory) const override;

  // Files found that no manifest lists, in the order found.
  const std::vector<std::string>& Unlisted() const { return UnlistedFiles; }
  // The new manifest's text, in walk order; names its format cannot carry
  // are left out and put into omitted.
  std::string MadeManifest(std::vector<std::string>& omitted) const;

 private:
  struct TExpected {
    TDigestKind Kind;
    std::string Digest;
    std::optional<TDigestKind> Otherwise;  // what the digest may be instead
  };
  struct TListedFile {
    std::string Shown;  // the manifest's directory as given + the listed name
    std::vector<TExpected> Digests;
    bool Met = false;
  };
  struct TMadeEntry {
    std::string Name;
    std::string Digest;  // empty until hashed, and for a file that failed
  };

  struct TWalk {
    std::string DirectoryKey;
    std::string Mask;
  };

  std::string KeyOf(const std::string& path) const;
  bool WalkWouldMeet(const std::string& path) const;
  // Not met by the walks and owed to the run: every listed file without
  // items, with them only those their walks would have met had they been there.
  bool Owed(const TListedFile& file) const;
  void NoteUnlisted(const std::string& path, const std::string& key);

  std::string WorkingDirectory;
  bool ListedOnly = false;
  std::vector<TWalk> ItemWalks;
  bool WalksDescend = false;
  bool WalksTakeHidden = false;
  std::vector<TListedFile> Listed;
  std::unordered_map<std::string, std::size_t> ListedByKey;
  std::vector<std::string> ManifestDirectories;  // as given, for the walk
  std::unordered_set<std::string> ManifestKeys;  // never "unlisted", never listed anew
  std::optional<TManifestStyle> MakeStyle;
  std::string MakeDirectoryKey;
  // In walk order: a file's place is taken when it has been read, its
  // digest filled in by a hashing thread.
  mutable std::mutex MadeMutex;
  std::vector<TMadeEntry> Made;
  std::vector<std::string> UnlistedFiles;
  std::vector<std::string> Missing;

  THashPool Hashes;
  bool Hashing = false;                // the current file's bytes go to Hashes
  std::optional<std::size_t> Current;  // the listed file being read
  std::string CurrentKey;
};

// The path with "." and empty parts dropped and ".." taken back where it
// can be; purely by the text, as a manifest's names are meant.
std::string LexicalPath(std::string_view path);
// The name of target (a normalised absolute path) from directory (the same).
std::string RelativeName(std::string_view directory, std::string_view target);
