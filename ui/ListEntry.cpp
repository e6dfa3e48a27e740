#include "ListEntry.h"

#include <QByteArray>
#include <QFile>

#include "NameOrder.h"

QString DisplayText(const std::string& bytes) {
  return MarkControlCharacters(QFile::decodeName(QByteArray::fromStdString(bytes)));
}

QString MarkControlCharacters(QString text) {
  for (QChar& c : text) {
    if (c.unicode() < 0x20) c = QChar(0x2400 + c.unicode());
    else if (c.unicode() == 0x7f) c = QChar(0x2421);
  }
  return text;
}

std::string EncodedText(const QString& text) { return QFile::encodeName(text).toStdString(); }

TListEntry::TListEntry(std::string bytes)
    : Bytes(std::move(bytes)), Text(DisplayText(Bytes)) {}

bool operator<(const TListEntry& a, const TListEntry& b) {
  return Platform::NameBefore(a.Bytes, b.Bytes);
}
