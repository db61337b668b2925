// The rich-text control's view in Qt.
#include "rich_text_view.h"

#include <QTextBrowser>

#include "velmora/runtime/text.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

class RichTextView : public QTextBrowser {
 public:
  explicit RichTextView(QWidget* parent) : QTextBrowser(parent) {
    setReadOnly(true);
    // links in the document are not followed out of the program
    setOpenLinks(false);
    setOpenExternalLinks(false);
  }
  std::string shown;  // what was set last, to set only changes
};

}  // namespace

QWidget* MakeRichTextView(QWidget* parent) { return new RichTextView(parent); }

bool ShowRichText(QWidget* widget, const Window& w, int control) {
  auto* view = dynamic_cast<RichTextView*>(widget);
  if (!view) return false;
  std::string html = w.Get(control, Prop::Html);
  std::string next = html.empty() ? "T" + w.Get(control, Prop::ScreenText) : "H" + html;
  if (next != view->shown) {
    view->shown = next;
    if (html.empty())
      view->setPlainText(QString::fromStdString(rt::ToUtf8(next.substr(1))));
    else
      view->setHtml(QString::fromStdString(html));
  }
  return true;
}

}  // namespace ui
