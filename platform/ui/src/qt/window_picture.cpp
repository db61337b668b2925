// A window's background picture, stretched over its whole client area.
#include "window_picture.h"

#include <QEvent>
#include <QPalette>
#include <QPixmap>

namespace ui::qtpicture {
namespace {

class Stretcher : public QObject {
 public:
  static constexpr const char* kName = "velmora-window-picture";
  explicit Stretcher(QWidget* client) : QObject(client), client_(client) { setObjectName(kName); }
  void SetPicture(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    picture_ = QPixmap(QString::fromStdString(path));
    drawn_ = QSize();
    Draw();
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj == client_ && (e->type() == QEvent::Resize || e->type() == QEvent::Show)) Draw();
    return false;
  }

 private:
  void Draw() {
    const QSize size = client_->size();
    if (picture_.isNull() || size.isEmpty() || size == drawn_) return;
    drawn_ = size;
    QPalette pal = client_->palette();
    pal.setBrush(QPalette::Window,
                 QBrush(picture_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    client_->setPalette(pal);
    client_->setAutoFillBackground(true);
  }

  QWidget* client_;
  std::string path_;
  QPixmap picture_;
  QSize drawn_;
};

}  // namespace

void SetWindowPicture(QWidget* client, const std::string& path) {
  if (!client || path.empty()) return;
  // found by its name: the class has no meta-object of its own to cast by
  auto* stretcher = static_cast<Stretcher*>(client->findChild<QObject*>(Stretcher::kName, Qt::FindDirectChildrenOnly));
  if (!stretcher) {
    stretcher = new Stretcher(client);
    client->installEventFilter(stretcher);
  }
  stretcher->SetPicture(path);
}

}  // namespace ui::qtpicture
