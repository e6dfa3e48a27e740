#include "ListEntry.h"

#include <QByteArray>
#include <QFile>

#include "NameOrder.h"

QString DisplayText(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string EncodedText(const QString& text) { return QFile::encodeName(text).toStdString(); }

TListEntry::TListEntry(std::string bytes)
    : Bytes(std::move(bytes)), Text(DisplayText(Bytes)) {}

bool operator<(const TListEntry& a, const TListEntry& b) {
  return Platform::NameBefore(a.Bytes, b.Bytes);
}
