#pragma once
// The class library's own opens of data files: the error log, files
// shared between objects of one process, the open server and views. Each
// opens through the one replaceable open (db::HookedOpen, which the
// upgrade engine takes over), under its object's own lock; the hook never
// takes an object lock, so the order is always object lock, then hook.
#include <cstdint>
#include <mutex>

#include "velmora/classlib/errors.h"
#include "velmora/files/decl.h"

namespace cl {

// The error log file: created when missing and opened shared.
class ErrorLogFile {
 public:
  explicit ErrorLogFile(db::FileDecl& file) : file_(file) {}
  // 0 on success, 5 when the log cannot be created or opened. Opens only
  // while the use count is 0 or when `forceReopen` is set.
  int OpenLog(bool forceReopen = false);
  int UseCount() const { return uses_; }

 private:
  db::FileDecl& file_;
  std::mutex lock_;
  int uses_ = 0;
};

// A file opened once for all the objects that share it.
class SharedFileOpenTracker {
 public:
  explicit SharedFileOpenTracker(db::FileDecl& file) : file_(file) {}
  // 0 on success (an instance already open counts as one); otherwise the
  // open's error. Only the first use opens.
  int OpenOnce(uint32_t mode);
  int UseCount() const { return uses_; }

 private:
  db::FileDecl& file_;
  std::mutex lock_;
  int uses_ = 0;
};

// Opens a file for whoever asks: 0 when it opened or was already open,
// else the open's error.
class IFileOpenServer {
 public:
  int OpenOnce(db::FileDecl& file, uint32_t mode);
};

// A view: opened deny-write, then its buffering and its own set-up.
class ViewManager {
 public:
  ViewManager(db::FileDecl& view, ErrorReporter* errors) : view_(view), errors_(errors) {}
  virtual ~ViewManager() = default;

  // Buffering settings applied after the open.
  int pageSize = 0, behind = 0, ahead = 0, timeout = 0;

  // Opens the view when it is not open; an open that fails for another
  // reason than "already open" is reported through the error manager.
  void OpenView();
  bool IsOpen() const { return open_; }

 protected:
  // The view's own set-up after the open (order, then filter).
  virtual void SetOrder() {}
  virtual void SetFilter() {}

 private:
  db::FileDecl& view_;
  ErrorReporter* errors_;
  bool open_ = false;
};

}  // namespace cl
