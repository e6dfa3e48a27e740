#pragma once
// A name or item as the selection dialog's lists hold it: the bytes the
// system and the run use, and the text shown for them.
#include <string>

#include <QString>

struct TListEntry {
  explicit TListEntry(std::string bytes);

  std::string Bytes;
  QString Text;
  // Text in one letter case: comparing these is the case-blind order, at a
  // fraction of the cost of a case-insensitive comparison (which folds
  // every character again on every comparison of a sort).
  QString Key;
};

// Alphabetical with letter case ignored; names that differ only in case
// follow their bytes, so that the order is total and does not depend on
// the order in which entries arrived.
bool operator<(const TListEntry& a, const TListEntry& b);

// The text shown for a name or item that may not be valid UTF-8.
QString DisplayText(const std::string& bytes);
// The bytes of a text typed or shown in a window.
std::string EncodedText(const QString& text);
