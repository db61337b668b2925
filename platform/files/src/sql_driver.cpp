// Registered SQL file drivers: each is served through the runtime's
// driver interface, with the statement property and result rows.
#include "velmora/files/sql_driver.h"

#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace db {
namespace {

struct SqlOpenState : FileDecl::OpenState {
  std::string statement;  // the last one set in the SQL property
};

class SqlFileDriver final : public Driver {
 public:
  explicit SqlFileDriver(std::shared_ptr<SqlDriver> sql) : sql_(std::move(sql)) {}

  void Open(FileDecl& f, uint32_t mode) override {
    auto state = std::make_unique<SqlOpenState>();
    state->driver = this;
    state->mode = mode;
    sql_->Open(f, mode);
    if (rt::ErrorCode() == 0) f.StateSlot() = std::move(state);
  }
  void Create(FileDecl& f) override { NotSupported(f, "CREATE"); }
  void Close(FileDecl& f) override {
    sql_->Close(f);
    f.StateSlot().reset();
  }
  void Next(FileDecl& f) override { sql_->Next(f); }
  void Add(FileDecl& f) override { NotSupported(f, "ADD"); }
  void Execute(FileDecl& f, std::string_view statement) {
    static_cast<SqlOpenState*>(f.State())->statement = std::string(statement);
    rt::ClearError();
    sql_->Execute(f, statement);
  }

 private:
  std::shared_ptr<SqlDriver> sql_;
};

struct Entry {
  std::string name;  // upper case
  std::unique_ptr<SqlFileDriver> driver;
};

std::mutex gMutex;
std::vector<Entry> gEntries;  // slots are never reused

Entry* Find(std::string_view name) {
  std::string up = rt::Upper(name);
  for (Entry& e : gEntries)
    if (e.name == up) return &e;
  return nullptr;
}

SqlOpenState* SqlState(const FileDecl& f) {
  return dynamic_cast<SqlOpenState*>(f.State());
}

}  // namespace

void RegisterSqlDriver(std::string_view name, std::shared_ptr<SqlDriver> driver) {
  bool builtIn = DriverEntryFor(name) != 0 && SqlDriverSlot(name) == 0 && !SqlDriverFor(name);
  std::lock_guard lock(gMutex);
  if (builtIn && !Find(name)) return;
  Entry* e = Find(name);
  if (!e) e = &gEntries.emplace_back(Entry{rt::Upper(name), nullptr});
  e->driver = driver ? std::make_unique<SqlFileDriver>(std::move(driver)) : nullptr;
}

Driver* SqlDriverFor(std::string_view name) {
  std::lock_guard lock(gMutex);
  Entry* e = Find(name);
  return e ? e->driver.get() : nullptr;
}

uint32_t SqlDriverSlot(std::string_view name) {
  std::lock_guard lock(gMutex);
  for (size_t i = 0; i < gEntries.size(); ++i)
    if (gEntries[i].name == rt::Upper(name) && gEntries[i].driver)
      return static_cast<uint32_t>(i + 1);
  return 0;
}

std::string SqlDriverName(uint32_t slot) {
  std::lock_guard lock(gMutex);
  if (slot == 0 || slot > gEntries.size() || !gEntries[slot - 1].driver) return {};
  return gEntries[slot - 1].name;
}

bool SetSqlStatement(FileDecl& f, std::string_view statement) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  static_cast<SqlFileDriver*>(s->driver)->Execute(f, statement);
  return true;
}

bool GetSqlStatement(const FileDecl& f, std::string& out) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  out = s->statement;
  return true;
}

}  // namespace db
