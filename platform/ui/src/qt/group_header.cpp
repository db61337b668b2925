// A list's column header that shows a column group's heading across the
// group's columns when they have no headings of their own.
#include "group_header.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>
#include <utility>
#include <vector>

namespace ui::qtheader {
namespace {

struct Span {
  int first = 0, last = 0;  // 0-based sections
  QString heading;
};

class GroupHeader : public QHeaderView {
 public:
  explicit GroupHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(false);
  }
  void SetSpans(std::vector<Span> spans) {
    spans_ = std::move(spans);
    viewport()->update();
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QHeaderView::paintEvent(e);
    QPainter p(viewport());
    for (const Span& s : spans_) {
      if (s.last >= count()) continue;
      const int x0 = sectionViewportPosition(s.first);
      const int x1 = sectionViewportPosition(s.last) + sectionSize(s.last);
      if (x1 <= x0) continue;
      // one section drawn over the group's columns, with its heading
      QStyleOptionHeader opt;
      initStyleOption(&opt);
      opt.rect = QRect(x0, 0, x1 - x0, viewport()->height());
      opt.section = s.first;
      opt.text = s.heading;
      opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
      opt.position = QStyleOptionHeader::Middle;
      style()->drawControl(QStyle::CE_Header, &opt, &p, this);
    }
  }

 private:
  std::vector<Span> spans_;
};

}  // namespace

bool ShowGroups(QTreeWidget* list, const ListFormat& format) {
  std::vector<Span> spans;
  for (const ListGroup& g : format.groups) {
    if (g.heading.empty() || g.firstColumn < 1 || g.lastColumn < g.firstColumn ||
        g.lastColumn > static_cast<int>(format.columns.size()))
      continue;
    bool headed = false;
    for (int c = g.firstColumn; c <= g.lastColumn; ++c)
      headed = headed || !format.columns[static_cast<size_t>(c - 1)].heading.empty();
    if (!headed) spans.push_back({g.firstColumn - 1, g.lastColumn - 1, QString::fromStdString(g.heading)});
  }
  auto* header = dynamic_cast<GroupHeader*>(list->header());
  if (spans.empty() && !header) return false;
  if (!header) {
    // it behaves as the list's own header did
    QHeaderView* old = list->header();
    header = new GroupHeader(list);
    header->setStretchLastSection(old->stretchLastSection());
    header->setSectionsMovable(old->sectionsMovable());
    header->setDefaultAlignment(old->defaultAlignment());
    list->setHeader(header);
  }
  const bool shown = !spans.empty();
  header->SetSpans(std::move(spans));
  return shown;
}

}  // namespace ui::qtheader
