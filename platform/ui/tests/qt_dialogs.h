// Answers the Qt backend's dialogs as a user would: a timer on the GUI
// thread finds the modal dialog shown and clicks its button or picks its
// file.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QAbstractButton>
#include <QTimer>
#include <deque>
#include <string>
#include <vector>

namespace uitest {

class QtAnswers {
 public:
  QtAnswers() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(20);
  }
  // The next message box: this button is clicked.
  void Message(QMessageBox::StandardButton button) { messages_.push_back(button); }
  // The next file dialog: this file (a host path) is chosen.
  void File(const std::string& path) { files_.push_back(QString::fromStdString(path)); }
  // The texts of the message boxes answered so far.
  const std::vector<std::string>& Asked() const { return asked_; }
  // Every answer given so far has been used.
  bool Used() const { return messages_.empty() && files_.empty() && !pending_; }

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    // answered once its own event loop runs: an answer given while the
    // dialog is still being shown would leave that loop waiting
    if (!modal || !modal->isVisible() || pending_) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && !messages_.empty()) {
      QAbstractButton* button = box->button(messages_.front());
      if (!button) return;
      messages_.pop_front();
      asked_.push_back(box->text().toStdString());
      pending_ = true;
      QTimer::singleShot(0, button, [this, button] {
        pending_ = false;
        button->click();
      });
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !files_.empty()) {
      // The name is used up when the dialog closes: a dialog that did not
      // take it yet (its folder still loading) is answered again.
      if (dialog != fileDialog_) {
        fileDialog_ = dialog;
        QObject::connect(dialog, &QDialog::finished, dialog, [this] {
          files_.pop_front();
          fileDialog_ = nullptr;
        });
      }
      // typed as a whole path, as a user may: it does not wait for the
      // dialog's view of the folder
      if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
        edit->setText(files_.front());
      else
        dialog->selectFile(files_.front());
      pending_ = true;
      QTimer::singleShot(0, dialog, [this, dialog] {
        pending_ = false;
        static_cast<QDialog*>(dialog)->accept();  // the file dialog checks the name as OK does
      });
    }
  }

  QTimer timer_;
  std::deque<QMessageBox::StandardButton> messages_;
  std::deque<QString> files_;
  std::vector<std::string> asked_;
  bool pending_ = false;
  QPointer<QFileDialog> fileDialog_;  // answered, not closed yet
};

}  // namespace uitest
