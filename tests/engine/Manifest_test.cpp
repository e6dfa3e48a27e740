// Checksum files as the tools that make them write them, and the digests
// that are compared with them.
#include "Manifest.h"

#include <gtest/gtest.h>

#include "DigestSet.h"
#include "SumsCheck.h"

namespace {

const std::string Md5Abc = "900150983cd24fb0d6963f7d28e17f72";
const std::string Sha1Abc = "a9993e364706816aba3e25717850c26c9cd0d89d";
const std::string Sha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TEST(Manifest, EachFormatIsToldByItsLine) {
  const struct {
    std::string Line;
    std::string Name;
    TDigestKind Kind;
    std::string Digest;
  } cases[] = {
      {Sha256Abc + "  a b.txt", "a b.txt", TDigestKind::Sha256, Sha256Abc},
      {Md5Abc + " *bin.iso", "bin.iso", TDigestKind::Md5, Md5Abc},
      {Upper(Sha1Abc) + "  ./sub/x", "./sub/x", TDigestKind::Sha1, Sha1Abc},
      {Sha256Abc + "   lead", " lead", TDigestKind::Sha256, Sha256Abc},
      {"\\" + Md5Abc + "  new\\nline\\\\back", "new\nline\\back", TDigestKind::Md5, Md5Abc},
      {"SHA256 (x (1).txt) = " + Sha256Abc, "x (1).txt", TDigestKind::Sha256, Sha256Abc},
      {"SHA1 (f) = " + Sha1Abc, "f", TDigestKind::Sha1, Sha1Abc},
      {"\\MD5 (a\\nb) = " + Md5Abc, "a\nb", TDigestKind::Md5, Md5Abc},
      {"XXH128 (f) = " + Md5Abc, "f", TDigestKind::Xxh128, Md5Abc},
      {"disc one.iso 352441C2", "disc one.iso", TDigestKind::Crc32, "352441c2"},
  };
  for (const auto& c : cases) {
    const TManifest manifest = ParseManifest(c.Line + "\n");
    ASSERT_EQ(manifest.Entries.size(), 1u) << c.Line;
    EXPECT_TRUE(manifest.Problems.empty()) << c.Line;
    EXPECT_EQ(manifest.Entries[0].Name, c.Name) << c.Line;
    EXPECT_EQ(manifest.Entries[0].Kind, c.Kind) << c.Line;
    EXPECT_EQ(manifest.Entries[0].Digest, c.Digest) << c.Line;
  }
}

// One file put together from several tools, saved on Windows, with a line
// that none of them wrote: that line is named, the others all count.
TEST(Manifest, MixedFileWithCrLfBomCommentsAndBadLines) {
  const std::string text = "\xEF\xBB\xBF# made by hand\r\n" + Sha256Abc + "  one\r\n\r\n" +
                           "; sfv comment\r\n" + "SHA256 (two) = " + Sha256Abc.substr(1) + "\r\n" +
                           "\\" + Md5Abc + "  bad\\qescape\r\n" + "three 352441c2\r\n" +
                           "%%%% HASHDEEP-1.0\r\n%%%% size,md5,sha256,filename\r\n## comment\r\n" +
                           "3," + Md5Abc + "," + Sha256Abc + ",four,with,commas\r\n" + "x," +
                           Md5Abc + "," + Sha256Abc + ",five\r\n" + Md5Abc + "  six";
  const TManifest manifest = ParseManifest(text);
  std::vector<std::pair<std::string, std::size_t>> entries;
  for (const auto& e : manifest.Entries) entries.emplace_back(e.Name, e.Line);
  const std::vector<std::pair<std::string, std::size_t>> expected = {
      {"one", 2}, {"three", 7}, {"four,with,commas", 11}, {"four,with,commas", 11}, {"six", 13}};
  EXPECT_EQ(entries, expected);
  ASSERT_EQ(manifest.Problems.size(), 3u);
  EXPECT_EQ(manifest.Problems[0].Line, 5u);   // a digest one digit short
  EXPECT_EQ(manifest.Problems[1].Line, 6u);   // an escape no tool writes
  EXPECT_EQ(manifest.Problems[2].Line, 12u);  // a size that is no number
  EXPECT_EQ(manifest.Entries[2].Kind, TDigestKind::Md5);
  EXPECT_EQ(manifest.Entries[3].Kind, TDigestKind::Sha256);
}

// What Korvane writes, it reads back as the same name and digest.
TEST(Manifest, WrittenLinesReadBack) {
  const std::string names[] = {"plain.txt",   "with space", "中文/名字.txt", "new\nline",
                               "back\\slash", "cr\rname",   " lead",         "x (1) = y",
                               "trailing "};
  for (const char* type : {"md5", "sha1", "sha256", "sha512", "xxh128", "crc32", "blake2b"}) {
    const TManifestStyle style = *StyleForSumType(type);
    const std::string digest(DigestHexLength(style.Kind), 'a');
    for (const std::string& name : names) {
      const auto line = ManifestLine(style, name, digest);
      if (!line) {
        EXPECT_EQ(style.Format, TManifestFormat::Sfv) << name;
        continue;
      }
      const TManifest back = ParseManifest(*line);
      ASSERT_EQ(back.Entries.size(), 1u) << type << " " << *line;
      EXPECT_EQ(back.Entries[0].Name, name) << type;
      EXPECT_EQ(back.Entries[0].Kind, style.Kind) << type;
      EXPECT_EQ(back.Entries[0].Digest, digest) << type;
    }
  }
  EXPECT_FALSE(StyleForSumType("sha3"));
  EXPECT_EQ(StyleForManifestName("disc/MD5SUM.TXT").Kind, TDigestKind::Md5);
  EXPECT_EQ(StyleForManifestName("a.sfv").Kind, TDigestKind::Crc32);
  EXPECT_EQ(StyleForManifestName("SHA256SUMS").Kind, TDigestKind::Sha256);
  EXPECT_EQ(StyleForManifestName("B2SUMS").Kind, TDigestKind::Blake2b);
}

TEST(DigestSet, KnownAnswersAndHolesHashAsZeros) {
  const struct {
    TDigestKind Kind;
    std::string Abc;
  } cases[] = {
      {TDigestKind::Md5, Md5Abc},
      {TDigestKind::Sha1, Sha1Abc},
      {TDigestKind::Sha224, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
      {TDigestKind::Sha256, Sha256Abc},
      {TDigestKind::Sha384,
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "825a7"},
      {TDigestKind::Sha512,
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "eeb"
       "bd454d4423643ce80e2a9ac94fa54ca49f"},
      {TDigestKind::Crc32, "352441c2"},
      {TDigestKind::Xxh128, ""},  // no reference at hand: only the properties below
  };
  TDigestSet set;
  TDigestKinds all = 0;
  for (const auto& c : cases) all |= KindBit(c.Kind);
  const auto feed = [&](std::string_view text) {
    set.Data(reinterpret_cast<const std::byte*>(text.data()), text.size());
  };
  std::vector<std::string> whole, split, zeros, data;
  set.Reset(all);
  feed("abc");
  for (const auto& c : cases) whole.push_back(set.HexDigest(c.Kind));
  set.Reset(all);
  feed("a");
  feed("bc");
  for (const auto& c : cases) split.push_back(set.HexDigest(c.Kind));
  // A hole larger than the zero block, between data.
  const std::size_t hole = 200'000;
  set.Reset(all);
  feed("x");
  set.Zeros(hole);
  feed("y");
  for (const auto& c : cases) zeros.push_back(set.HexDigest(c.Kind));
  set.Reset(all);
  feed("x" + std::string(hole, '\0') + "y");
  for (const auto& c : cases) data.push_back(set.HexDigest(c.Kind));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string_view name = DigestName(cases[i].Kind);
    if (!cases[i].Abc.empty()) {
      EXPECT_EQ(whole[i], cases[i].Abc) << name;
    }
    EXPECT_EQ(whole[i].size(), DigestHexLength(cases[i].Kind)) << name;
    EXPECT_EQ(split[i], whole[i]) << name;
    EXPECT_EQ(zeros[i], data[i]) << name;
    EXPECT_NE(zeros[i], whole[i]) << name;
  }
}

TEST(SumsCheck, PathsCompareByTheirText) {
  const struct {
    std::string Path, Lexical;
  } lexical[] = {
      {"a/./b//c", "a/b/c"}, {"/x/../y", "/y"}, {"../a/../b", "../b"}, {"./", "."}, {"/..", "/"}};
  for (const auto& c : lexical) EXPECT_EQ(LexicalPath(c.Path), c.Lexical) << c.Path;
  EXPECT_EQ(RelativeName("/d", "/d/s/f"), "s/f");
  EXPECT_EQ(RelativeName("/d/e", "/d/f"), "../f");
  EXPECT_EQ(RelativeName("/", "/f"), "f");
}
