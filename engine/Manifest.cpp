#include "Manifest.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsHex(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
  });
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && Lower(text.substr(text.size() - end.size())) == end;
}

std::optional<TDigestKind> KindOfHexLength(std::size_t length) {
  switch (length) {
    case 32:
      return TDigestKind::Md5;
    case 40:
      return TDigestKind::Sha1;
    case 56:
      return TDigestKind::Sha224;
    case 64:
      return TDigestKind::Sha256;
    case 96:
      return TDigestKind::Sha384;
    case 128:
      return TDigestKind::Sha512;
    default:
      return std::nullopt;
  }
}

// Undoes the escapes of a name on a line that begins with '\'.
std::optional<std::string> Unescape(std::string_view name) {
  std::string plain;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      plain += name[i];
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    if (name[i] == '\\')
      plain += '\\';
    else if (name[i] == 'n')
      plain += '\n';
    else if (name[i] == 'r')
      plain += '\r';
    else
      return std::nullopt;
  }
  return plain;
}

std::string Escape(std::string_view name) {
  std::string escaped;
  for (const char c : name) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\n')
      escaped += "\\n";
    else if (c == '\r')
      escaped += "\\r";
    else
      escaped += c;
  }
  return escaped;
}

bool NeedsEscape(std::string_view name) {
  return name.find_first_of("\\\n\r") != std::string_view::npos;
}

using TParsed = std::optional<TManifestEntry>;

TParsed Entry(std::string name, TDigestKind kind, std::string_view hex) {
  if (name.empty() || !IsHex(hex) || hex.size() != DigestHexLength(kind)) return std::nullopt;
  return TManifestEntry{std::move(name), kind, Lower(hex), 0};
}

// "SHA256 (name) = HEX"; an escaped line starts with '\'.
TParsed ParseBsdTag(std::string_view line) {
  const bool escaped = line.starts_with('\\');
  if (escaped) line.remove_prefix(1);
  const auto open = line.find(" (");
  const auto close = line.rfind(") = ");
  if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2)
    return std::nullopt;
  const auto kind = DigestKindOfName(line.substr(0, open));
  if (!kind) return std::nullopt;
  std::optional<std::string> name(line.substr(open + 2, close - open - 2));
  if (escaped) name = Unescape(*name);
  if (!name) return std::nullopt;
  return Entry(std::move(*name), *kind, line.substr(close + 4));
}

// "HEX  name" or "HEX *name"; an escaped line starts with '\'.
TParsed ParseGnu(std::string_view line) {
  const bool escaped = line.starts_with('\\');
  if (escaped) line.remove_prefix(1);
  const auto space = line.find(' ');
  if (space == std::string_view::npos || space + 2 > line.size()) return std::nullopt;
  const auto kind = KindOfHexLength(space);
  if (!kind || (line[space + 1] != ' ' && line[space + 1] != '*')) return std::nullopt;
  std::optional<std::string> name(line.substr(space + 2));
  if (escaped) name = Unescape(*name);
  if (!name) return std::nullopt;
  TParsed entry = Entry(std::move(*name), *kind, line.substr(0, space));
  if (entry) entry->KindFromLength = true;
  return entry;
}

// "name CRC32": the digest is the last word.
TParsed ParseSfv(std::string_view line) {
  const auto space = line.rfind(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::string_view name = line.substr(0, space);
  while (name.ends_with(' ')) name.remove_suffix(1);
  return Entry(std::string(name), TDigestKind::Crc32, line.substr(space + 1));
}

}  // namespace

// hashdeep: the header "%%%% size,md5,sha256,filename" names the columns;
// the file name is the last and may itself hold commas.
class THashdeepColumns {
 public:
  bool Active() const { return !Columns.empty(); }

  void TakeHeader(std::string_view line) {
    line.remove_prefix(4);
    while (line.starts_with(' ')) line.remove_prefix(1);
    if (line.starts_with("HASHDEEP")) return;
    Columns.clear();
    for (std::size_t start = 0; start <= line.size();) {
      const auto comma = std::min(line.find(',', start), line.size());
      Columns.emplace_back(line.substr(start, comma - start));
      start = comma + 1;
    }
    if (Columns.back() != "filename") Columns.clear();
  }

  bool Parse(std::string_view line, std::vector<TManifestEntry>& entries) const {
    std::vector<TManifestEntry> found;
    for (std::size_t c = 0; c + 1 < Columns.size(); ++c) {
      const auto comma = line.find(',');
      if (comma == std::string_view::npos) return false;
      const std::string_view value = line.substr(0, comma);
      line.remove_prefix(comma + 1);
      if (Columns[c] == "size") {
        if (!std::ranges::all_of(value, [](char d) { return d >= '0' && d <= '9'; })) return false;
      } else if (const auto kind = DigestKindOfName(Columns[c])) {
        if (!IsHex(value) || value.size() != DigestHexLength(*kind)) return false;
        found.push_back({"", *kind, Lower(value), 0});
      }
    }
    if (line.empty()) return false;
    for (TManifestEntry& entry : found) {
      entry.Name = std::string(line);
      entries.push_back(std::move(entry));
    }
    return true;
  }

 private:
  std::vector<std::string> Columns;
};

namespace {

bool IsBlank(std::string_view line) {
  return std::ranges::all_of(line, [](char c) { return c == ' ' || c == '\t'; });
}

// One line that is neither blank, a comment nor a header; false when it
// is in no known format.
bool ParseLine(std::string_view line, const THashdeepColumns& hashdeep,
               std::vector<TManifestEntry>& entries) {
  if (hashdeep.Active() && hashdeep.Parse(line, entries)) return true;
  TParsed entry = ParseBsdTag(line);
  if (!entry) entry = ParseGnu(line);
  if (!entry) entry = ParseSfv(line);
  if (entry) entries.push_back(std::move(*entry));
  return entry.has_value();
}

}  // namespace

TManifestLines::TManifestLines() : Hashdeep(std::make_unique<THashdeepColumns>()) {}

TManifestLines::~TManifestLines() = default;

bool TManifestLines::Take(std::string_view line, std::size_t number,
                          std::vector<TManifestEntry>& entries) {
  if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (IsBlank(line) || line.starts_with('#') || line.starts_with(';')) return true;
  if (line.starts_with("%%%%")) {
    Hashdeep->TakeHeader(line);
    return true;
  }
  const std::size_t before = entries.size();
  if (!ParseLine(line, *Hashdeep, entries)) return false;
  for (std::size_t i = before; i < entries.size(); ++i) entries[i].Line = number;
  return true;
}

TManifest ParseManifest(std::string_view text) {
  TManifest manifest;
  TManifestLines lines;
  for (std::size_t number = 1; !text.empty(); ++number) {
    const auto end = std::min(text.find('\n'), text.size());
    if (!lines.Take(text.substr(0, end), number, manifest.Entries))
      manifest.Problems.push_back({number, "不能识别的行"});
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return manifest;
}

bool NamesBlake2b(std::string_view fileName) {
  const std::string name =
      Lower(fileName.substr(std::min(fileName.rfind('/') + 1, fileName.size())));
  return EndsWithNoCase(name, ".b2") || name == "b2sums" || name.starts_with("b2sums.");
}

TManifestStyle StyleForManifestName(std::string_view fileName) {
  const std::string name =
      Lower(fileName.substr(std::min(fileName.rfind('/') + 1, fileName.size())));
  if (EndsWithNoCase(name, ".md5") || name == "md5sum.txt" || name == "md5sums")
    return {TManifestFormat::Gnu, TDigestKind::Md5};
  if (EndsWithNoCase(name, ".sha1") || name == "sha1sums")
    return {TManifestFormat::Gnu, TDigestKind::Sha1};
  if (EndsWithNoCase(name, ".sha512") || name == "sha512sums")
    return {TManifestFormat::Gnu, TDigestKind::Sha512};
  if (EndsWithNoCase(name, ".sfv")) return {TManifestFormat::Sfv, TDigestKind::Crc32};
  if (NamesBlake2b(name)) return {TManifestFormat::Gnu, TDigestKind::Blake2b};
  return {TManifestFormat::Gnu, TDigestKind::Sha256};
}

std::optional<TManifestStyle> StyleForSumType(std::string_view type) {
  const auto kind = DigestKindOfName(type);
  if (!kind || *kind == TDigestKind::Sha224 || *kind == TDigestKind::Sha384) return std::nullopt;
  // A GNU line of 32 digits reads back as MD5, one of 128 as SHA-512: the
  // tag keeps XXH128 and BLAKE2b apart.
  if (*kind == TDigestKind::Xxh128 || *kind == TDigestKind::Blake2b)
    return TManifestStyle{TManifestFormat::BsdTag, *kind};
  if (*kind == TDigestKind::Crc32) return TManifestStyle{TManifestFormat::Sfv, *kind};
  return TManifestStyle{TManifestFormat::Gnu, *kind};
}

std::optional<std::string> ManifestLine(const TManifestStyle& style, std::string_view name,
                                        std::string_view hexDigest) {
  const std::string escape = NeedsEscape(name) ? "\\" : "";
  switch (style.Format) {
    case TManifestFormat::Gnu:
      return escape + std::string(hexDigest) + "  " + Escape(name) + "\n";
    case TManifestFormat::BsdTag:
      return escape + std::string(DigestName(style.Kind)) + " (" + Escape(name) +
             ") = " + std::string(hexDigest) + "\n";
    case TManifestFormat::Sfv:
      // .sfv knows no escapes, a leading ';' would make the line a comment,
      // and blanks at the end would be taken for the gap before the CRC.
      if (name.find_first_of("\n\r") != std::string_view::npos || name.starts_with(';') ||
          name.ends_with(' '))
        return std::nullopt;
      return std::string(name) + " " + Lower(hexDigest) + "\n";
  }
  return std::nullopt;
}
