#include "DigestSet.h"

#include <openssl/evp.h>
#include <xxhash.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

struct TKindInfo {
  TDigestKind Kind;
  std::string_view Name;
  const char* OpenSslName;  // null: not an OpenSSL digest
  std::size_t HexLength;
};

constexpr std::array<TKindInfo, DigestKindCount> Kinds{{
    {TDigestKind::Md5, "MD5", "MD5", 32},
    {TDigestKind::Sha1, "SHA1", "SHA1", 40},
    {TDigestKind::Sha224, "SHA224", "SHA224", 56},
    {TDigestKind::Sha256, "SHA256", "SHA256", 64},
    {TDigestKind::Sha384, "SHA384", "SHA384", 96},
    {TDigestKind::Sha512, "SHA512", "SHA512", 128},
    {TDigestKind::Xxh128, "XXH128", nullptr, 32},
    {TDigestKind::Crc32, "CRC32", nullptr, 8},
    {TDigestKind::Blake2b, "BLAKE2b", "BLAKE2B-512", 128},
}};

const TKindInfo& InfoOf(TDigestKind kind) { return Kinds[static_cast<std::size_t>(kind)]; }


// A whole zero block, so that a hole is hashed in few large calls.
constexpr std::size_t ZeroBlockSize = 64 * 1024;
const std::byte* ZeroBlock() {
  static const std::array<std::byte, ZeroBlockSize> zeros{};
  return zeros.data();
}

}  // namespace

std::string_view DigestName(TDigestKind kind) { return InfoOf(kind).Name; }

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += Digits[bytes[i] >> 4];
    text += Digits[bytes[i] & 0xF];
  }
  return text;
}

std::string BytesOfHex(std::string_view hex) {
  const auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string bytes(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(value(hex[2 * i]) << 4 | value(hex[2 * i + 1]));
  return bytes;
}

std::size_t DigestHexLength(TDigestKind kind) { return InfoOf(kind).HexLength; }

std::optional<TDigestKind> DigestKindOfName(std::string_view name) {
  for (const TKindInfo& info : Kinds) {
    if (std::ranges::equal(name, info.Name, [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) ==
                 std::toupper(static_cast<unsigned char>(b));
        }))
      return info.Kind;
  }
  return std::nullopt;
}

struct TDigestSet::TState {
  // The fetched algorithms and their contexts live as long as the set, so
  // that a file costs no look-up and no allocation.
  std::array<EVP_MD*, DigestKindCount> Algorithms{};
  std::array<EVP_MD_CTX*, DigestKindCount> Contexts{};
  XXH3_state_t* Xxh = nullptr;
  uLong Crc = 0;
  TDigestKinds Active = 0;

  ~TState() {
    for (EVP_MD_CTX* context : Contexts) EVP_MD_CTX_free(context);
    for (EVP_MD* algorithm : Algorithms) EVP_MD_free(algorithm);
    XXH3_freeState(Xxh);
  }
};

TDigestSet::TDigestSet() : State(std::make_unique<TState>()) {
  for (const TKindInfo& info : Kinds) {
    if (info.OpenSslName == nullptr) continue;
    const auto k = static_cast<std::size_t>(info.Kind);
    State->Algorithms[k] = EVP_MD_fetch(nullptr, info.OpenSslName, nullptr);
    State->Contexts[k] = EVP_MD_CTX_new();
    if (State->Algorithms[k] == nullptr || State->Contexts[k] == nullptr)
      throw std::runtime_error("OpenSSL lacks the digest " + std::string(info.Name));
  }
  State->Xxh = XXH3_createState();
  if (State->Xxh == nullptr) throw std::bad_alloc();
}

TDigestSet::~TDigestSet() = default;

void TDigestSet::Reset(TDigestKinds kinds) {
  State->Active = kinds;
  for (const TKindInfo& info : Kinds) {
    if ((kinds & KindBit(info.Kind)) == 0) continue;
    const auto k = static_cast<std::size_t>(info.Kind);
    if (info.OpenSslName != nullptr)
      EVP_DigestInit_ex2(State->Contexts[k], State->Algorithms[k], nullptr);
  }
  if (kinds & KindBit(TDigestKind::Xxh128)) XXH3_128bits_reset(State->Xxh);
  if (kinds & KindBit(TDigestKind::Crc32)) State->Crc = crc32(0L, Z_NULL, 0);
}

void TDigestSet::Data(const std::byte* data, std::size_t size) {
  if (size == 0) return;
  for (const TKindInfo& info : Kinds) {
    if ((State->Active & KindBit(info.Kind)) == 0 || info.OpenSslName == nullptr) continue;
    EVP_DigestUpdate(State->Contexts[static_cast<std::size_t>(info.Kind)], data, size);
  }
  if (State->Active & KindBit(TDigestKind::Xxh128)) XXH3_128bits_update(State->Xxh, data, size);
  if (State->Active & KindBit(TDigestKind::Crc32)) {
    // zlib counts in 32 bits (uInt).
    const auto* bytes = reinterpret_cast<const Bytef*>(data);
    for (std::size_t done = 0; done < size;) {
      const auto piece = static_cast<uInt>(std::min<std::size_t>(size - done, 1u << 30));
      State->Crc = crc32(State->Crc, bytes + done, piece);
      done += piece;
    }
  }
}

void TDigestSet::Zeros(std::uint64_t count) {
  while (count > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, ZeroBlockSize));
    Data(ZeroBlock(), piece);
    count -= piece;
  }
}

std::string TDigestSet::HexDigest(TDigestKind kind) {
  const auto k = static_cast<std::size_t>(kind);
  if ((State->Active & KindBit(kind)) == 0)
    throw std::logic_error("digest " + std::string(DigestName(kind)) + " was not computed");
  State->Active &= ~KindBit(kind);
  if (kind == TDigestKind::Crc32) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(State->Crc >> 24), static_cast<unsigned char>(State->Crc >> 16),
        static_cast<unsigned char>(State->Crc >> 8), static_cast<unsigned char>(State->Crc)};
    return Hex(bytes, sizeof bytes);
  }
  if (kind == TDigestKind::Xxh128) {
    // Big-endian, as the xxHash tools print it.
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(State->Xxh));
    return Hex(canonical.digest, sizeof canonical.digest);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(State->Contexts[k], digest, &length);
  return Hex(digest, length);
}
