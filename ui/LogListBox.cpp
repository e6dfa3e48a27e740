#include "LogListBox.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <queue>
#include <vector>

#include <QPainter>
#include <QStyledItemDelegate>

#include "LogText.h"

namespace {

const QColor FailureColor(0x80, 0, 0);
constexpr int TextMargin = 3;
// Above and below a line's text: glyphs may reach a little beyond the
// font's ascent and descent.
constexpr int RowAir = 1;

QString DisplayText(std::string_view line) {
  return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

// The longest lines in bytes: the widest line is almost always among them,
// and measuring only these keeps a log of millions of lines quick to show.
std::vector<std::string_view> LongestLines(const TLogStore& lines, std::size_t count) {
  auto shorter = [](std::string_view a, std::string_view b) { return a.size() > b.size(); };
  std::priority_queue<std::string_view, std::vector<std::string_view>, decltype(shorter)> top(
      shorter);
  for (const std::string_view line : lines) {
    if (top.size() < count) {
      top.push(line);
    } else if (line.size() > top.top().size()) {
      top.pop();
      top.push(line);
    }
  }
  std::vector<std::string_view> result;
  for (; !top.empty(); top.pop()) result.push_back(top.top());
  return result;
}

}  // namespace

void TLogListModel::SetLines(const TLogStore* lines) {
  beginResetModel();
  FLines = lines;
  endResetModel();
}

int TLogListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !FLines) return 0;
  return static_cast<int>(std::min<std::size_t>(FLines->size(), INT_MAX));
}

QVariant TLogListModel::data(const QModelIndex& index, int role) const {
  if (!FLines || !index.isValid() || index.row() >= rowCount()) return {};
  const std::string_view line = (*FLines)[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) return DisplayText(line);
  if (role == Qt::ForegroundRole && LogText::IsFailureLine(line)) return FailureColor;
  return {};
}

// Rows of one height and of the width of the widest line, so that the view
// never asks for more than one size hint and a horizontal scroll bar
// reaches the end of every line. A drawn line wider than the estimate
// widens the rows.
class TLogLineDelegate : public QStyledItemDelegate {
 public:
  TLogLineDelegate(QWidget* view, std::function<void()> widthGrew)
      : QStyledItemDelegate(view), FView(view), FWidthGrew(std::move(widthGrew)) {}

  void Measure(const TLogStore* lines) {
    FWidth = 0;
    if (!lines) return;
    for (const std::string_view line : LongestLines(*lines, 64))
      FWidth = std::max(FWidth, WidthOf(DisplayText(line)));
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return {FWidth, static_cast<const TLogListBox*>(FView)->RowHeight()};
  }

  // Drawn by hand rather than by the style, so that the baseline sits at
  // the font's ascent below a pixel of air at the top of the row: neither a
  // CJK glyph nor a descender reaches into the next row.
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QString text = index.data().toString();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->save();
    if (selected) painter->fillRect(option.rect, option.palette.highlight());
    painter->setPen(selected                  ? option.palette.color(QPalette::HighlightedText)
                    : foreground.isValid() ? foreground.value<QColor>()
                                           : option.palette.color(QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(QPoint(option.rect.left() + TextMargin,
                             option.rect.top() + RowAir + FView->fontMetrics().ascent()),
                      text);
    painter->restore();
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(option);
      FView->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, FView);
    }
    const int width = WidthOf(text);
    if (width <= FWidth) return;
    FWidth = width;
    FWidthGrew();
  }

 private:
  int WidthOf(const QString& text) const {
    return FView->fontMetrics().horizontalAdvance(text) + 2 * TextMargin;
  }

  QWidget* FView;
  std::function<void()> FWidthGrew;
  mutable int FWidth = 0;
};

TLogListBox::TLogListBox(QWidget* parent) : QListView(parent) {
  FModel = new TLogListModel(this);
  FDelegate = new TLogLineDelegate(this, [this] { scheduleDelayedItemsLayout(); });
  setModel(FModel);
  setItemDelegate(FDelegate);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideNone);
}

int TLogListBox::RowHeight() const { return fontMetrics().lineSpacing() + 2 * RowAir; }

void TLogListBox::SetLines(const TLogStore* lines) {
  FDelegate->Measure(lines);
  FModel->SetLines(lines);
}
