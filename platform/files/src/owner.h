#pragma once
// The owner of an ISAM file declared owner-protected or encrypted: the
// file keeps a salted hash of it (PBKDF2-HMAC-SHA256, OpenSSL) per table,
// and an open with another owner fails with "Invalid Password". The
// records themselves are stored as they are.
#include <sqlite3.h>

#include <string>

#include "velmora/files/decl.h"

namespace db {

// Records the owner's hash for `table` (inside the creating transaction);
// a declaration without protection or owner records none. False with the
// thread's error set when it could not be written.
bool StoreOwnerHash(const FileDecl& f, sqlite3* db, const std::string& table);

// True when the declaration may open `table`: its owner matches the hash
// the table was created with, or neither has one. Otherwise sets
// rt::kInvalidPassword. Reads only.
bool OwnerMatches(const FileDecl& f, sqlite3* db, const std::string& table);

}  // namespace db
