#pragma once
// A run's checksum files: the files they list are compared with what the
// run reads, and the files read correctly may be listed in a new one.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "ContentCheck.h"
#include "DigestSet.h"
#include "HashPool.h"
#include "Manifest.h"
#include "TextArena.h"

class TSumsCheck final : public TContentCheck {
 public:
  TSumsCheck();

  // The files a manifest lists, by names relative to its directory: the
  // whole of it, or its entries one at a time between BeginManifest and
  // EndManifest. Each returns how many lines it took for SHA-512 by their
  // length alone: a file that matches as BLAKE2b instead is correct too.
  std::size_t AddManifest(const std::string& manifestPath, const TManifest& manifest);
  void BeginManifest(const std::string& manifestPath);
  bool AddEntry(const TManifestEntry& entry);
  void EndManifest();
  // Lists every file read correctly for a new manifest at manifestPath:
  // each line goes to write as soon as it and every line before it are
  // known, in walk order (from a hashing thread, one at a time).
  using TLineWriter = std::function<void(std::string_view line)>;
  void MakeManifest(const std::string& manifestPath, const TManifestStyle& style, TLineWriter write);
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
  std::size_t AfterWalkPlaces() const override;
  std::optional<std::string> AfterWalk(std::size_t place) const override;
  bool SearchMatters(const std::string& directory) const override;

  // Files found that no manifest lists, in the order found.
  const std::vector<std::string>& Unlisted() const { return UnlistedFiles; }
  // Names of the new manifest's files its format cannot carry, left out.
  std::vector<std::string> OmittedFromMade() const;

 private:
  struct TExpected {
    TDigestKind Kind;
    std::string Digest;  // hex
    std::optional<TDigestKind> Otherwise;  // what the digest may be instead
  };
  // One row for each digest listed, a million of them in little memory: a
  // file listed more than once (by several manifests, or with several
  // digests) has several rows, the first of which stands for the file.
  struct TRow {
    std::uint64_t At = 0;  // in Texts: the name as listed, then the digest's bytes
    std::uint32_t NameLength = 0;
    std::uint16_t Manifest = 0;  // in ManifestDirectories
    TDigestKind Kind = TDigestKind::Sha256;
    bool First = true;
    bool Met = false;
    // Taken for SHA-512 by its length alone: it may be BLAKE2b instead.
    bool OrBlake2b = false;
  };
  struct TMadeEntry {
    std::string Name;
    std::string Digest;  // empty for a file that failed
    bool Done = false;   // hashed, or failed
  };

  struct TWalk {
    std::string DirectoryKey;
    std::string Mask;
  };

  std::string KeyOf(const std::string& path) const;
  bool WalkWouldMeet(const std::string& path) const;
  // Not met by the walks and owed to the run: every listed file without
  // items, with them only those their walks would have met had they been there.
  bool Owed(const TRow& row) const;
  void NoteUnlisted(const std::string& path, const std::string& key);
  std::string ShownOf(const TRow& row) const;
  std::string HexDigestOf(const TRow& row) const;
  std::optional<std::size_t> RowOf(const std::string& key) const;
  std::vector<TExpected> DigestsOf(const std::string& key) const;
  void MadeDone(std::size_t made, std::string digest);

  std::string WorkingDirectory;
  bool ListedOnly = false;
  std::vector<TWalk> ItemWalks;
  bool WalksDescend = false;
  bool WalksTakeHidden = false;
  bool ManifestNamesBlake2b = false;  // the one being added
  TTextArena Texts;
  std::deque<TRow> Rows;
  std::size_t RowsIndexed = 0;
  std::vector<std::pair<std::uint64_t, std::uint32_t>> RowsByKey;  // (hash of the key, row)
  std::vector<std::string> ManifestDirectories;  // as given, for the walk
  std::unordered_set<std::string> ManifestKeys;  // never "unlisted", never listed anew
  std::optional<TManifestStyle> MakeStyle;
  std::string MakeDirectoryKey;
  // In walk order from the first not written yet: a file's place is taken
  // when it has been read, its digest filled in by a hashing thread.
  mutable std::mutex MadeMutex;
  std::deque<TMadeEntry> Made;
  std::size_t MadeWritten = 0;
  TLineWriter WriteMade;
  std::vector<std::string> Omitted;
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
