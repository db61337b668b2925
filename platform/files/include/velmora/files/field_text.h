#pragma once
// The values of a record buffer's fields as text, one value per field: the
// form the text drivers write and read and the SQL drivers send and fetch.
#include <string>
#include <vector>

#include "velmora/files/decl.h"

namespace db {

bool IsTextType(Type t);  // STRING, CSTRING, PSTRING

// The fields that carry a value of their own, in declaration order: every
// field that is not a GROUP and not laid over another (string fields of no
// length, possible only in a damaged block, are left out).
std::vector<const FieldInfo*> ValueFields(const FileDecl& f);

// One element's value as text (strings without their padding) and back;
// a number field takes the number the text starts with.
std::string FieldText(const FieldInfo& fi, const uint8_t* p);
void SetFieldText(const FieldInfo& fi, uint8_t* p, const std::string& v);

}  // namespace db
