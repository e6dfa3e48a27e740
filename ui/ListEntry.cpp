#include "ListEntry.h"

#include <QByteArray>
#include <QFile>

QString DisplayText(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string EncodedText(const QString& text) { return QFile::encodeName(text).toStdString(); }

TListEntry::TListEntry(std::string bytes)
    : Bytes(std::move(bytes)), Text(DisplayText(Bytes)), Key(Text.toCaseFolded()) {}

bool operator<(const TListEntry& a, const TListEntry& b) {
  const int order = a.Key.compare(b.Key);
  return order != 0 ? order < 0 : a.Bytes < b.Bytes;
}
