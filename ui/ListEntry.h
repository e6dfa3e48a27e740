#pragma once
// A name or item as the selection dialog's lists hold it: the bytes the
// system and the run use, and the text shown for them.
#include <string>

#include <QString>

struct TListEntry {
  explicit TListEntry(std::string bytes);

  std::string Bytes;
  QString Text;
};

// The order of the run's walks (Platform::CompareNames), so that the list
// shows the files in the order a run checks them.
bool operator<(const TListEntry& a, const TListEntry& b);

// The text shown for a name or item that may not be valid UTF-8; control
// characters are shown by their marks (see MarkControlCharacters).
QString DisplayText(const std::string& bytes);
// Each control character (a line feed, a tab, an escape ...) as its picture
// (U+2400 + code, "␊"; DEL as "␡"): a name stays in one row, and its odd
// character shows.
QString MarkControlCharacters(QString text);
// The bytes of a text typed or shown in a window.
std::string EncodedText(const QString& text);
