#pragma once
// A driver transaction (LOGOUT) begun by the class library.
#include <string>
#include <vector>

#include "velmora/files/decl.h"

namespace cl {

// Begins a transaction over `files` with the lock wait (db::LockWait) as
// its time-out, unless the thread already runs inside one the class
// library began (then the outer one commits or rolls back). Rolls back when neither Finish nor
// Fail was called.
class Transaction {
 public:
  explicit Transaction(const std::vector<db::FileDecl*>& files);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool Begun() const { return begun_; }  // false: the LOGOUT failed, its error stands
  void Fail();    // rolls back; the error that caused it stands
  bool Finish();  // commits; false when the commit failed (rolled back)

 private:
  bool own_ = false;
  bool begun_ = false;
  bool done_ = false;
};

}  // namespace cl
