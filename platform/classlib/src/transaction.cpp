#include "transaction.h"

#include "velmora/classlib/filemanager.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace cl {
namespace {

constexpr int kLogoutSeconds = 2;
thread_local bool tInTransaction = false;

}  // namespace

bool InTransaction() { return tInTransaction; }

ErrorState ErrorState::Save() {
  return {rt::ErrorCode(), rt::ErrorText(), rt::FileErrorCode(), rt::FileErrorText(),
          rt::ErrorFile()};
}

void ErrorState::Restore() const {
  if (fileCode != 0 || !fileText.empty())
    rt::SetFileError(code, fileCode, fileText, file);
  else
    rt::SetError(code, text);
}

Transaction::Transaction(const std::vector<db::FileDecl*>& files) {
  if (tInTransaction) {
    begun_ = true;
    return;
  }
  db::Logout(kLogoutSeconds, files);
  if (rt::ErrorCode() != rt::kNoError) return;
  own_ = begun_ = tInTransaction = true;
}

Transaction::~Transaction() {
  if (!done_) Fail();
}

void Transaction::Fail() {
  if (done_ || !begun_) return;
  done_ = true;
  if (!own_) return;
  const ErrorState e = ErrorState::Save();
  db::Rollback();
  tInTransaction = false;
  e.Restore();
}

bool Transaction::Finish() {
  if (done_ || !begun_) return false;
  done_ = true;
  if (!own_) return true;
  db::Commit();
  tInTransaction = false;
  if (rt::ErrorCode() == rt::kNoError) return true;
  const ErrorState e = ErrorState::Save();
  db::Rollback();
  e.Restore();
  return false;
}

}  // namespace cl
