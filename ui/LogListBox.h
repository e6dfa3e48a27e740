#pragma once
// The list that shows the verification log: one row per line, as high as
// the font needs, single selection, Ctrl+C copies the selected line.
//
// A log can hold millions of lines, so the rows are a model over the log
// itself: nothing is copied, and a line becomes display text only when its
// row is drawn. Lines that report a failure are drawn in dark red.
#include <QAbstractListModel>
#include <QListView>

#include "VerifyStatus.h"

class TLogLineDelegate;

class TLogListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  // The lines to show, or nullptr for none; they must not change while shown.
  void SetLines(const TLogStore* lines);
  const TLogStore* Lines() const { return FLines; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const TLogStore* FLines = nullptr;
};

class TLogListBox : public QListView {
  Q_OBJECT

 public:
  explicit TLogListBox(QWidget* parent = nullptr);

  void SetLines(const TLogStore* lines);
  int Count() const { return FModel->rowCount(); }
  // The height of every row: the font's line spacing and a little air, at
  // any scale.
  int RowHeight() const;
  TLogListModel* Model() const { return FModel; }

 private:
  TLogListModel* FModel;
  TLogLineDelegate* FDelegate;
};
