#include "SumsCheck.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "DirSearch.h"
#include "Path.h"

namespace {

std::vector<std::string_view> Parts(std::string_view path) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= path.size();) {
    const auto slash = std::min(path.find('/', start), path.size());
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

bool Absent(const std::string& path) {
  std::error_code error;
  return !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace

std::string LexicalPath(std::string_view path) {
  const bool absolute = path.starts_with('/');
  std::vector<std::string_view> kept;
  for (const std::string_view part : Parts(path)) {
    if (part.empty() || part == ".") continue;
    if (part == ".." && !kept.empty() && kept.back() != "..")
      kept.pop_back();
    else if (part != ".." || !absolute)
      kept.push_back(part);
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < kept.size(); ++i) result += (i > 0 ? "/" : "") + std::string(kept[i]);
  return result.empty() ? "." : result;
}

std::string RelativeName(std::string_view directory, std::string_view target) {
  std::vector<std::string_view> from = Parts(directory), to = Parts(target);
  std::erase(from, std::string_view{});
  std::erase(to, std::string_view{});
  std::size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::string name;
  for (std::size_t i = common; i < from.size(); ++i) name += "../";
  for (std::size_t i = common; i < to.size(); ++i)
    name += std::string(to[i]) + (i + 1 < to.size() ? "/" : "");
  return name;
}

TSumsCheck::TSumsCheck() {
  // Taken once: a manifest's names are meant from where the run started.
  std::error_code error;
  WorkingDirectory = std::filesystem::current_path(error).string();
}

std::string TSumsCheck::KeyOf(const std::string& path) const {
  return LexicalPath(path.starts_with('/') ? path : WorkingDirectory + "/" + path);
}

std::size_t TSumsCheck::AddManifest(const std::string& manifestPath, const TManifest& manifest) {
  BeginManifest(manifestPath);
  std::size_t assumed = 0;
  for (const TManifestEntry& entry : manifest.Entries) assumed += AddEntry(entry) ? 1 : 0;
  EndManifest();
  return assumed;
}

void TSumsCheck::BeginManifest(const std::string& manifestPath) {
  if (ManifestDirectories.size() > 0xFFFF) throw std::length_error("manifests");
  ManifestDirectories.push_back(Platform::CurrentDirectoryOf(manifestPath));
  ManifestKeys.insert(KeyOf(manifestPath));
  ManifestNamesBlake2b = NamesBlake2b(manifestPath);
}

// 128 digits with no tag are SHA-512 or BLAKE2b: the manifest's name may
// say which, and otherwise either one matches.
bool TSumsCheck::AddEntry(const TManifestEntry& entry) {
  const std::uint64_t at = Texts.Add(entry.Name + BytesOfHex(entry.Digest));
  TRow row{at, static_cast<std::uint32_t>(entry.Name.size()),
           static_cast<std::uint16_t>(ManifestDirectories.size() - 1), entry.Kind};
  const bool undecided = entry.KindFromLength && entry.Kind == TDigestKind::Sha512;
  if (undecided && ManifestNamesBlake2b) row.Kind = TDigestKind::Blake2b;
  row.OrBlake2b = undecided && !ManifestNamesBlake2b;
  Rows.push_back(row);
  return row.OrBlake2b;
}

// The rows added since are indexed by their keys' hashes; of rows with one
// key, the first stands for the file.
void TSumsCheck::EndManifest() {
  RowsByKey.reserve(Rows.size());
  for (std::size_t row = RowsIndexed; row < Rows.size(); ++row)
    RowsByKey.emplace_back(std::hash<std::string>{}(KeyOf(ShownOf(Rows[row]))), row);
  RowsIndexed = Rows.size();
  std::ranges::sort(RowsByKey);
  // Rarely two rows of one hash: the same file listed again, or two keys
  // that share a hash.
  for (std::size_t i = 1; i < RowsByKey.size(); ++i) {
    const std::uint64_t hash = RowsByKey[i].first;
    if (RowsByKey[i - 1].first != hash) continue;
    TRow& row = Rows[RowsByKey[i].second];
    const std::string key = KeyOf(ShownOf(row));
    for (std::size_t earlier = i; earlier-- > 0 && RowsByKey[earlier].first == hash;)
      if (KeyOf(ShownOf(Rows[RowsByKey[earlier].second])) == key) row.First = false;
  }
}

std::string TSumsCheck::ShownOf(const TRow& row) const {
  const std::string_view name = Texts.View(row.At, row.NameLength);
  if (name.starts_with('/')) return std::string(name);
  return ManifestDirectories[row.Manifest] + std::string(name);
}

std::string TSumsCheck::HexDigestOf(const TRow& row) const {
  const std::string_view bytes = Texts.View(row.At + row.NameLength, DigestHexLength(row.Kind) / 2);
  return Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// The row that stands for the file of key.
std::optional<std::size_t> TSumsCheck::RowOf(const std::string& key) const {
  const std::uint64_t hash = std::hash<std::string>{}(key);
  auto at = std::ranges::lower_bound(RowsByKey, std::pair<std::uint64_t, std::uint32_t>{hash, 0});
  for (; at != RowsByKey.end() && at->first == hash; ++at) {
    const TRow& row = Rows[at->second];
    if (row.First && KeyOf(ShownOf(row)) == key) return at->second;
  }
  return std::nullopt;
}

// Every digest listed for the file of key.
std::vector<TSumsCheck::TExpected> TSumsCheck::DigestsOf(const std::string& key) const {
  std::vector<TExpected> digests;
  const std::uint64_t hash = std::hash<std::string>{}(key);
  auto at = std::ranges::lower_bound(RowsByKey, std::pair<std::uint64_t, std::uint32_t>{hash, 0});
  for (; at != RowsByKey.end() && at->first == hash; ++at) {
    const TRow& row = Rows[at->second];
    if (KeyOf(ShownOf(row)) != key) continue;
    digests.push_back({row.Kind, HexDigestOf(row),
                       row.OrBlake2b ? std::optional(TDigestKind::Blake2b) : std::nullopt});
  }
  return digests;
}

void TSumsCheck::MakeManifest(const std::string& manifestPath, const TManifestStyle& style,
                              TLineWriter write) {
  MakeStyle = style;
  WriteMade = std::move(write);
  const std::string key = KeyOf(manifestPath);
  ManifestKeys.insert(key);
  MakeDirectoryKey = LexicalPath(key + "/..");
}

void TSumsCheck::SetItemWalks(const std::vector<std::string>& items, bool subdirectories,
                              bool hidden) {
  WalksDescend = subdirectories;
  WalksTakeHidden = hidden;
  for (const std::string& item : items) {
    const std::string mask = Platform::NamePart(item);
    if (mask.find_first_of("*?") == std::string::npos) continue;
    const std::string directory = Platform::DirectoryPart(item);
    ItemWalks.push_back({KeyOf(directory.empty() ? "." : directory), mask});
  }
}

bool TSumsCheck::WalkWouldMeet(const std::string& path) const {
  const std::string key = KeyOf(path);
  for (const TWalk& walk : ItemWalks) {
    const std::string inside = walk.DirectoryKey == "/" ? "/" : walk.DirectoryKey + "/";
    if (!key.starts_with(inside)) continue;
    const std::string_view rest = std::string_view(key).substr(inside.size());
    if (!WalksDescend && rest.find('/') != std::string_view::npos) continue;
    if (!WalksTakeHidden && (rest.starts_with('.') || rest.find("/.") != std::string_view::npos))
      continue;
    if (Platform::MatchesMask(Platform::NamePart(rest), walk.Mask)) return true;
  }
  return false;
}

bool TSumsCheck::Owed(const TRow& row) const {
  if (ListedOnly) return true;
  if (ItemWalks.empty()) return false;
  const std::string shown = ShownOf(row);
  return WalkWouldMeet(shown) && Absent(shown);
}

bool TSumsCheck::SearchMatters(const std::string& directory) const {
  if (!ListedOnly) return true;
  const std::string key = KeyOf(directory);
  const std::string inside = key == "/" ? key : key + "/";
  return std::ranges::any_of(Rows, [&](const TRow& row) {
    return row.First && KeyOf(ShownOf(row)).starts_with(inside);
  });
}

std::vector<std::string> TSumsCheck::ManifestItems() const {
  std::vector<std::string> items;
  std::vector<std::string> keys;
  for (const std::string& directory : ManifestDirectories) {
    const std::string key = KeyOf(directory.empty() ? "." : directory);
    const bool covered = std::ranges::any_of(keys, [&](const std::string& walked) {
      return key == walked || key.starts_with(walked == "/" ? walked : walked + "/");
    });
    if (covered) continue;
    std::erase_if(keys, [&](const std::string& walked) { return walked.starts_with(key + "/"); });
    std::erase_if(items, [&](const std::string& item) {
      return KeyOf(Platform::DirectoryPart(item)).starts_with(key + "/");
    });
    keys.push_back(key);
    items.push_back(directory + "*");
  }
  return items;
}

void TSumsCheck::NoteUnlisted(const std::string& path, const std::string& key) {
  if (!ManifestKeys.contains(key)) UnlistedFiles.push_back(path);
}

bool TSumsCheck::Wanted(const std::string& path) {
  if (!ListedOnly) return true;
  const std::string key = KeyOf(path);
  if (RowOf(key)) return true;
  NoteUnlisted(path, key);
  return false;
}

TDataSink* TSumsCheck::BeginFile(const std::string& path) {
  CurrentKey = KeyOf(path);
  Current = RowOf(CurrentKey);
  TDigestKinds kinds = 0;
  if (Current) {
    Rows[*Current].Met = true;
    for (const TExpected& expected : DigestsOf(CurrentKey)) {
      kinds |= KindBit(expected.Kind);
      if (expected.Otherwise) kinds |= KindBit(*expected.Otherwise);
    }
  } else if (Checking()) {
    NoteUnlisted(path, CurrentKey);
  }
  if (MakeStyle && !ManifestKeys.contains(CurrentKey)) kinds |= KindBit(MakeStyle->Kind);
  Hashing = kinds != 0;
  if (!Hashing) return nullptr;
  Hashes.Begin(kinds);
  return &Hashes;
}

void TSumsCheck::FileDropped() {
  if (Hashing) Hashes.Drop();
  Hashing = false;
}

void TSumsCheck::FileRead(const std::string&, TContentVerdict verdict) {
  if (!Hashing) {
    verdict(std::nullopt);
    return;
  }
  Hashing = false;
  // Copied: the digests are compared on a hashing thread.
  std::vector<TExpected> expected;
  if (Current) expected = DigestsOf(CurrentKey);
  std::optional<std::size_t> made;
  if (MakeStyle && !ManifestKeys.contains(CurrentKey)) {
    std::lock_guard hold(MadeMutex);
    made = MadeWritten + Made.size();
    Made.push_back({RelativeName(MakeDirectoryKey, CurrentKey), {}});
  }
  Hashes.End([this, expected = std::move(expected), made,
              verdict = std::move(verdict)](const THashPool::TDigests& actual) {
    const auto actualOf = [&](TDigestKind kind) { return actual[static_cast<std::size_t>(kind)]; };
    for (const TExpected& e : expected) {
      const bool matches =
          actualOf(e.Kind) == e.Digest || (e.Otherwise && actualOf(*e.Otherwise) == e.Digest);
      if (!matches) {
        if (made) MadeDone(*made, {});
        verdict(TContentFailure{LogText::ContentMismatchMessage(DigestName(e.Kind)), e.Digest,
                                actualOf(e.Kind)});
        return;
      }
    }
    if (made) MadeDone(*made, actualOf(MakeStyle->Kind));
    verdict(std::nullopt);
  });
}

// A file's line is written once the lines of every file read before it are:
// the manifest is in walk order, and only the files still being hashed are
// held.
void TSumsCheck::MadeDone(std::size_t made, std::string digest) {
  std::lock_guard hold(MadeMutex);
  TMadeEntry& entry = Made[made - MadeWritten];
  entry.Digest = std::move(digest);
  entry.Done = true;
  for (; !Made.empty() && Made.front().Done; Made.pop_front(), ++MadeWritten) {
    const TMadeEntry& first = Made.front();
    if (first.Digest.empty()) continue;
    if (const auto line = ManifestLine(*MakeStyle, first.Name, first.Digest))
      WriteMade(*line);
    else
      Omitted.push_back(first.Name);
  }
}

std::vector<std::string> TSumsCheck::FilesNotMet() {
  std::vector<std::string> paths;
  if (!ListedOnly && ItemWalks.empty()) return paths;
  for (const TRow& row : Rows)
    if (row.First && !row.Met && Owed(row)) paths.push_back(ShownOf(row));
  for (const std::string& path : paths)
    if (Absent(path)) Missing.push_back(path);
  return paths;
}

TContentCheck::TCountChoice TSumsCheck::CountChoice(const std::string& path) const {
  if (!ListedOnly) return {};
  const std::optional<std::size_t> row = RowOf(KeyOf(path));
  if (!row) return {.Checked = false, .AfterWalk = std::nullopt};
  return {.Checked = true, .AfterWalk = *row};
}

std::size_t TSumsCheck::AfterWalkPlaces() const {
  return ListedOnly || !ItemWalks.empty() ? Rows.size() : 0;
}

std::optional<std::string> TSumsCheck::AfterWalk(std::size_t place) const {
  if (!Rows[place].First || !Owed(Rows[place])) return std::nullopt;
  return ShownOf(Rows[place]);
}

std::vector<std::string> TSumsCheck::OmittedFromMade() const {
  std::lock_guard hold(MadeMutex);
  return Omitted;
}
