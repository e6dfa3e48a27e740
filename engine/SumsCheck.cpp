#include "SumsCheck.h"

#include <algorithm>
#include <filesystem>

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
  const std::string directory = Platform::CurrentDirectoryOf(manifestPath);
  ManifestDirectories.push_back(directory);
  ManifestKeys.insert(KeyOf(manifestPath));
  const bool blake2b = NamesBlake2b(manifestPath);
  std::size_t assumed = 0;
  for (const TManifestEntry& entry : manifest.Entries) {
    const std::string shown = entry.Name.starts_with('/') ? entry.Name : directory + entry.Name;
    const auto [it, added] = ListedByKey.try_emplace(KeyOf(shown), Listed.size());
    if (added) Listed.push_back({shown, {}, false});
    TExpected expected{entry.Kind, entry.Digest, std::nullopt};
    if (entry.KindFromLength && entry.Kind == TDigestKind::Sha512) {
      if (blake2b) {
        expected.Kind = TDigestKind::Blake2b;
      } else {
        expected.Otherwise = TDigestKind::Blake2b;
        ++assumed;
      }
    }
    Listed[it->second].Digests.push_back(std::move(expected));
  }
  return assumed;
}

void TSumsCheck::MakeManifest(const std::string& manifestPath, const TManifestStyle& style) {
  MakeStyle = style;
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

bool TSumsCheck::Owed(const TListedFile& file) const {
  return ListedOnly || (Absent(file.Shown) && WalkWouldMeet(file.Shown));
}

bool TSumsCheck::SearchMatters(const std::string& directory) const {
  if (!ListedOnly) return true;
  const std::string key = KeyOf(directory);
  const std::string inside = key == "/" ? key : key + "/";
  return std::ranges::any_of(Listed, [&](const TListedFile& file) {
    return KeyOf(file.Shown).starts_with(inside);
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
  if (ListedByKey.contains(key)) return true;
  NoteUnlisted(path, key);
  return false;
}

TDataSink* TSumsCheck::BeginFile(const std::string& path) {
  CurrentKey = KeyOf(path);
  Current.reset();
  TDigestKinds kinds = 0;
  if (const auto it = ListedByKey.find(CurrentKey); it != ListedByKey.end()) {
    Current = it->second;
    TListedFile& file = Listed[it->second];
    file.Met = true;
    for (const TExpected& expected : file.Digests) {
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
  if (Current) expected = Listed[*Current].Digests;
  std::optional<std::size_t> made;
  if (MakeStyle && !ManifestKeys.contains(CurrentKey)) {
    std::lock_guard hold(MadeMutex);
    made = Made.size();
    Made.push_back({RelativeName(MakeDirectoryKey, CurrentKey), {}});
  }
  Hashes.End([this, expected = std::move(expected), made,
              verdict = std::move(verdict)](const THashPool::TDigests& actual) {
    const auto actualOf = [&](TDigestKind kind) { return actual[static_cast<std::size_t>(kind)]; };
    for (const TExpected& e : expected) {
      const bool matches =
          actualOf(e.Kind) == e.Digest || (e.Otherwise && actualOf(*e.Otherwise) == e.Digest);
      if (!matches) {
        verdict(TContentFailure{LogText::ContentMismatchMessage(DigestName(e.Kind)), e.Digest,
                                actualOf(e.Kind)});
        return;
      }
    }
    if (made) {
      std::lock_guard hold(MadeMutex);
      Made[*made].Digest = actualOf(MakeStyle->Kind);
    }
    verdict(std::nullopt);
  });
}

std::vector<std::string> TSumsCheck::FilesNotMet() {
  std::vector<std::string> paths;
  for (const TListedFile& file : Listed)
    if (!file.Met && Owed(file)) paths.push_back(file.Shown);
  for (const std::string& path : paths)
    if (Absent(path)) Missing.push_back(path);
  return paths;
}

TContentCheck::TCountChoice TSumsCheck::CountChoice(const std::string& path) const {
  if (!ListedOnly) return {};
  const auto it = ListedByKey.find(KeyOf(path));
  if (it == ListedByKey.end()) return {.Checked = false, .AfterWalk = std::nullopt};
  return {.Checked = true, .AfterWalk = it->second};
}

std::vector<std::string> TSumsCheck::AfterWalks() const {
  std::vector<std::string> paths;
  for (const TListedFile& file : Listed)
    if (Owed(file)) paths.push_back(file.Shown);
  return paths;
}

std::string TSumsCheck::MadeManifest(std::vector<std::string>& omitted) const {
  std::string text;
  if (!MakeStyle) return text;
  std::lock_guard hold(MadeMutex);
  for (const TMadeEntry& entry : Made) {
    if (entry.Digest.empty()) continue;
    if (const auto line = ManifestLine(*MakeStyle, entry.Name, entry.Digest))
      text += *line;
    else
      omitted.push_back(entry.Name);
  }
  return text;
}
