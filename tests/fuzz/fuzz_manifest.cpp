// Checksum files from anywhere: whatever the text, every entry has a name
// and a digest of its kind's length, the line numbers are those of the
// text, no line counts both as an entry and as a problem, and what Korvane
// would write for an entry reads back as that entry.
#include <set>

#include "FuzzSupport.h"
#include "Manifest.h"

namespace {

std::size_t LineCount(std::string_view text) {
  std::size_t lines = 0;
  for (std::size_t at = 0; at < text.size(); ++lines) {
    const auto end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}

TManifestStyle StyleFor(TDigestKind kind) {
  // A GNU line's kind is told by its length, which XXH128 shares with MD5.
  if (kind == TDigestKind::Xxh128 || kind == TDigestKind::Crc32)
    return {TManifestFormat::BsdTag, kind};
  return {TManifestFormat::Gnu, kind};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const TManifest manifest = ParseManifest(text);
  const std::size_t lines = LineCount(text);
  std::set<std::size_t> entryLines;
  std::size_t last = 0;
  for (const TManifestEntry& entry : manifest.Entries) {
    FUZZ_CHECK(!entry.Name.empty());
    FUZZ_CHECK(entry.Digest.size() == DigestHexLength(entry.Kind));
    FUZZ_CHECK(entry.Digest.find_first_not_of("0123456789abcdef") == std::string::npos);
    FUZZ_CHECK(entry.Line >= 1 && entry.Line <= lines && entry.Line >= last);
    last = entry.Line;
    entryLines.insert(entry.Line);
    const auto line = ManifestLine(StyleFor(entry.Kind), entry.Name, entry.Digest);
    FUZZ_CHECK(line.has_value());
    const TManifest back = ParseManifest(*line);
    FUZZ_CHECK(back.Problems.empty() && back.Entries.size() == 1);
    FUZZ_CHECK(back.Entries[0].Name == entry.Name && back.Entries[0].Kind == entry.Kind &&
               back.Entries[0].Digest == entry.Digest);
  }
  for (const TManifestProblem& problem : manifest.Problems) {
    FUZZ_CHECK(problem.Line >= 1 && problem.Line <= lines);
    FUZZ_CHECK(!entryLines.contains(problem.Line));
  }
  return 0;
}
