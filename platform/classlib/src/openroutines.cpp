// The class library's own opens through the replaceable open.
#include "velmora/classlib/openroutines.h"

#include <filesystem>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace cl {
namespace {

constexpr int kFailed = 5;

bool Exists(const db::FileDecl& f) {
  std::error_code ec;
  return std::filesystem::exists(db::HostPath(f.Name()), ec);
}

bool OpenOrAlready() {
  return rt::ErrorCode() == 0 || rt::ErrorCode() == rt::kFileAlreadyOpen;
}

}  // namespace

int ErrorLogFile::OpenLog(bool forceReopen) {
  std::lock_guard<std::mutex> guard(lock_);
  if (uses_ != 0 && !forceReopen) return 0;
  if (!Exists(file_)) {
    db::Create(file_);
    if (rt::ErrorCode() != 0) return kFailed;
  }
  db::HookedOpen(file_, db::kReadWrite | db::kDenyNone);
  if (rt::ErrorCode() != 0) return kFailed;
  ++uses_;
  return 0;
}

int SharedFileOpenTracker::OpenOnce(uint32_t mode) {
  std::lock_guard<std::mutex> guard(lock_);
  if (uses_ == 0) {
    db::HookedOpen(file_, mode);
    if (!OpenOrAlready()) return rt::ErrorCode();
  }
  ++uses_;
  return 0;
}

int IFileOpenServer::OpenOnce(db::FileDecl& file, uint32_t mode) {
  db::HookedOpen(file, mode);
  return OpenOrAlready() ? 0 : rt::ErrorCode();
}

void ViewManager::OpenView() {
  if (!open_) {
    db::HookedOpen(view_, db::kReadWrite | db::kDenyWrite);
    if (rt::ErrorCode() == 0) {
      open_ = true;
    } else if (rt::ErrorCode() != rt::kFileAlreadyOpen && errors_) {
      errors_->ThrowFile(Msg::OpenFailed, view_.Label());
    }
  }
  // This runtime buffers nothing itself: the settings are kept as given.
  SetOrder();
  SetFilter();
}

}  // namespace cl
