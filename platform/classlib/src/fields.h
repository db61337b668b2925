#pragma once
// Field values inside record images, by the declaration's field info.
#include <cstdint>
#include <string>

#include "velmora/files/decl.h"

namespace cl::field {

bool IsInteger(const db::FieldInfo& f);
int64_t GetInt(const db::FieldInfo& f, const uint8_t* record);
void SetInt(const db::FieldInfo& f, uint8_t* record, int64_t value);
// The highest value the field can hold (integers only).
int64_t MaxInt(const db::FieldInfo& f);
// Sets the field to its lowest (high = false) or highest value, so a key
// position built from it lies before or after every stored value.
void SetExtreme(const db::FieldInfo& f, uint8_t* record, bool high);
// Text of a text field as stored (CSTRING up to its NUL, PSTRING its length).
std::string Text(const db::FieldInfo& f, const uint8_t* record);
// Equal as key values: numbers by value, text ignoring trailing blanks
// (and case when noCase).
bool Same(const db::FieldInfo& a, const uint8_t* recA, const db::FieldInfo& b,
          const uint8_t* recB, bool noCase);
// Copies the value of `from` into `to`, converting between integer widths
// and between text kinds.
void Copy(const db::FieldInfo& from, const uint8_t* fromRec, const db::FieldInfo& to,
          uint8_t* toRec);

}  // namespace cl::field
