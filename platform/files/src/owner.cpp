// Owner checks of ISAM files declared owner-protected or encrypted: a
// salted PBKDF2 hash of the owner per table, compared in constant time.
#include "owner.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <vector>

#include "velmora/runtime/errors.h"

namespace db {
namespace {

constexpr int kRounds = 4096;
constexpr size_t kSaltSize = 16;
constexpr size_t kHashSize = 32;

bool Protected(const FileDecl& f) {
  return (f.Attributes() & (kAttrOwner | kAttrEncrypt)) != 0 && !f.Owner().empty();
}

bool Hash(const std::string& owner, const uint8_t* salt, size_t saltLen, int rounds,
          std::array<uint8_t, kHashSize>& out) {
  return PKCS5_PBKDF2_HMAC(owner.data(), static_cast<int>(owner.size()), salt,
                           static_cast<int>(saltLen), rounds, EVP_sha256(),
                           static_cast<int>(out.size()), out.data()) == 1;
}

bool Fail(const FileDecl& f, sqlite3* db) {
  rt::SetFileError(rt::kDriverError, sqlite3_extended_errcode(db), sqlite3_errmsg(db), f.Name());
  return false;
}

}  // namespace

bool StoreOwnerHash(const FileDecl& f, sqlite3* db, const std::string& table) {
  const char* ddl =
      "CREATE TABLE IF NOT EXISTS vm_owner (tbl TEXT PRIMARY KEY, salt BLOB NOT NULL,"
      " hash BLOB NOT NULL, rounds INTEGER NOT NULL)";
  if (sqlite3_exec(db, ddl, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(f, db);
  sqlite3_stmt* st = nullptr;
  if (!Protected(f)) {
    sqlite3_prepare_v2(db, "DELETE FROM vm_owner WHERE tbl = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE || Fail(f, db);
  }
  std::array<uint8_t, kSaltSize> salt{};
  std::array<uint8_t, kHashSize> hash{};
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
      !Hash(f.Owner(), salt.data(), salt.size(), kRounds, hash)) {
    rt::SetFileError(rt::kDriverError, 0, "the owner could not be hashed", f.Name());
    return false;
  }
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO vm_owner (tbl, salt, hash, rounds) VALUES (?1, ?2, ?3, ?4)",
                     -1, &st, nullptr);
  sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 2, salt.data(), static_cast<int>(salt.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 3, hash.data(), static_cast<int>(hash.size()), SQLITE_STATIC);
  sqlite3_bind_int(st, 4, kRounds);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  return rc == SQLITE_DONE || Fail(f, db);
}

bool OwnerMatches(const FileDecl& f, sqlite3* db, const std::string& table) {
  std::vector<uint8_t> salt, stored;
  int rounds = 0;
  sqlite3_stmt* st = nullptr;
  // A file without the table was created with no owner at all.
  if (sqlite3_prepare_v2(db, "SELECT salt, hash, rounds FROM vm_owner WHERE tbl = ?1", -1, &st,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW) {
      auto blob = [st](int col) {
        const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, col));
        return std::vector<uint8_t>(p, p + (p ? sqlite3_column_bytes(st, col) : 0));
      };
      salt = blob(0);
      stored = blob(1);
      rounds = sqlite3_column_int(st, 2);
    }
  }
  sqlite3_finalize(st);
  bool match;
  if (stored.empty()) {
    match = !Protected(f);
  } else {
    std::array<uint8_t, kHashSize> hash{};
    match = Protected(f) && stored.size() == hash.size() && rounds > 0 &&
            Hash(f.Owner(), salt.data(), salt.size(), rounds, hash) &&
            CRYPTO_memcmp(hash.data(), stored.data(), hash.size()) == 0;
  }
  if (!match) rt::SetError(rt::kInvalidPassword);
  return match;
}

}  // namespace db
