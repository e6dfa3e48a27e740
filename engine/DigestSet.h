#pragma once
// The digests of one file, all fed from the same reads: a file listed in
// two checksum files, or checked and listed anew in one run, is still read
// only once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ContentCheck.h"

enum class TDigestKind { Md5, Sha1, Sha224, Sha256, Sha384, Sha512, Xxh128, Crc32, Blake2b };
inline constexpr std::size_t DigestKindCount = 9;

// The name checksum files tag the kind with: "MD5", "SHA256", "XXH128", "CRC32",
// "BLAKE2b" (512 bits, as b2sum writes it).
std::string_view DigestName(TDigestKind kind);
// The kind of a tag, whatever its letter case; none for a tag not known here.
std::optional<TDigestKind> DigestKindOfName(std::string_view name);
// Lower-case hex of bytes, and back (hex must be valid).
std::string Hex(const unsigned char* bytes, std::size_t size);
std::string BytesOfHex(std::string_view hex);
// Hex digits of the kind's digest.
std::size_t DigestHexLength(TDigestKind kind);

// A set of digest kinds as bits, 1 << kind.
using TDigestKinds = std::uint32_t;
inline constexpr TDigestKinds KindBit(TDigestKind kind) {
  return TDigestKinds{1} << static_cast<unsigned>(kind);
}

class TDigestSet final : public TDataSink {
 public:
  TDigestSet();
  ~TDigestSet() override;
  TDigestSet(const TDigestSet&) = delete;
  TDigestSet& operator=(const TDigestSet&) = delete;

  // Starts over for a new file, computing the kinds given.
  void Reset(TDigestKinds kinds);
  void Data(const std::byte* data, std::size_t size) override;
  void Zeros(std::uint64_t count) override;
  // The digest in lower-case hex, as the checksum programs print it. Ends
  // that kind's computation: ask once per file.
  std::string HexDigest(TDigestKind kind);

 private:
  struct TState;
  std::unique_ptr<TState> State;
};
