#pragma once
// Checksum files as users have them: GNU ("HEX  name", "HEX *name", a
// leading '\' for escaped names), BSD tags ("SHA256 (name) = HEX"), .sfv
// ("name CRC32") and hashdeep lists. The format is told line by line, so
// that a file put together from several tools still reads.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DigestSet.h"

struct TManifestEntry {
  std::string Name;  // as listed, escapes undone
  TDigestKind Kind = TDigestKind::Sha256;
  std::string Digest;  // lower-case hex
  std::size_t Line = 0;
  // A GNU line names no algorithm: its digest's length stands for one, and
  // 128 digits may be SHA-512 (sha512sum) or BLAKE2b (b2sum).
  bool KindFromLength = false;
};

struct TManifestProblem {
  std::size_t Line = 0;
  std::string Text;
};

struct TManifest {
  std::vector<TManifestEntry> Entries;
  // Lines that could not be read; the other lines still count.
  std::vector<TManifestProblem> Problems;
};

// A manifest read one line at a time, so that a file of any length takes
// no more memory than its longest line. Takes CR LF or LF line ends, a
// UTF-8 byte-order mark, blank lines and comment lines ('#', and ';' as
// .sfv files have them).
class THashdeepColumns;
class TManifestLines {
 public:
  TManifestLines();
  ~TManifestLines();
  // The line numbered number (from 1), without its line feed: its entries
  // go to entries; false when it is in no known format.
  bool Take(std::string_view line, std::size_t number, std::vector<TManifestEntry>& entries);

 private:
  std::unique_ptr<THashdeepColumns> Hashdeep;
};

// A whole manifest's text, line by line.
TManifest ParseManifest(std::string_view text);

// How a manifest that Korvane writes lists a file.
enum class TManifestFormat { Gnu, Sfv, BsdTag };

struct TManifestStyle {
  TManifestFormat Format = TManifestFormat::Gnu;
  TDigestKind Kind = TDigestKind::Sha256;
};

// Whether a manifest's file name says its 128-digit lines are BLAKE2b, as
// b2sum's are: "*.b2", "B2SUMS".
bool NamesBlake2b(std::string_view fileName);

// The style a manifest's file name asks for: "*.md5" and "md5sum.txt" GNU
// MD5, "*.sha1" GNU SHA-1, "*.sfv" CRC32, "*.sha512" GNU SHA-512, "*.b2"
// and "B2SUMS" GNU BLAKE2b, anything else GNU SHA-256.
TManifestStyle StyleForManifestName(std::string_view fileName);
// The style for a --sum-type value; none for an unknown one.
std::optional<TManifestStyle> StyleForSumType(std::string_view type);

// One line (with its LF) for a file, in the form the checksum programs read
// back; none when the format cannot carry the name (a line break in an
// .sfv name).
std::optional<std::string> ManifestLine(const TManifestStyle& style, std::string_view name,
                                        std::string_view hexDigest);
