#include "velmora/classlib/transaction.h"

#include "velmora/classlib/filemanager.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace cl {
namespace {

thread_local bool tInTransaction = false;

}  // namespace

bool InTransaction() { return tInTransaction; }

Transaction::Transaction(const std::vector<db::FileDecl*>& files) {
  if (tInTransaction) {
    begun_ = true;
    return;
  }
  // Waits for other writers as long as they make progress, and the lock
  // wait once they stop.
  db::Logout(db::LockWait(), files);
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
  const rt::ErrorSnapshot e = rt::SaveError();
  db::Rollback();
  tInTransaction = false;
  rt::RestoreError(e);
}

bool Transaction::Finish() {
  if (done_ || !begun_) return false;
  done_ = true;
  if (!own_) return true;
  db::Commit();
  tInTransaction = false;
  if (rt::ErrorCode() == rt::kNoError) return true;
  const rt::ErrorSnapshot e = rt::SaveError();
  db::Rollback();
  rt::RestoreError(e);
  return false;
}

}  // namespace cl
