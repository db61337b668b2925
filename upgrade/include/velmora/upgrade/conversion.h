#pragma once
// The conversion's building blocks: file definitions built at run time
// from a stored serialisation (INFILE, DESTFILE), the record copy with its
// field-by-field conversion, and the splitting of a data file's name.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/structure.h"

namespace upg {

// ---------------------------------------------------------------- state
// Shared by the upgrade driver and the record copy for one conversion.

// The source is an old-format data file (matches by the first 16
// characters of a name).
rt::Byte& OldFormatSource();
// The destination is an SQL table: the copy builds INSERT lists.
rt::Byte& ConversionDetected();
// The running record number of the conversion (reports and traces).
rt::Long& RecordNumber();
// The OEM flag added to the create bit of a built definition. 0 unless
// the declared file sets it (DeclaredOemFlag).
rt::Byte& OemFlag();
rt::Byte DeclaredOemFlag(const db::FileDecl& declared);
// AFN: the alternate names that apply to this conversion (built by the
// driver from AlternateNames(): destination and source upper-cased).
std::vector<AlternateName>& AfnQueue();
// The declared fields that alternate-name pairs were to feed but whose
// pairs found no source (the field was primed), each with the source
// names tried; filled by the record copy, emptied by LoadAlternateNames.
struct UnmatchedAlternate {
  std::string destination;
  std::vector<std::string> sources;
};
std::vector<UnmatchedAlternate>& UnmatchedAlternates();
// True when a field's alternate names all missed while a field of the old
// file fed no declared field: its data may have been meant for the field
// left empty. A field simply new in this version (the old file has no data
// for it anywhere) leaves nothing behind and is only traced.
bool AlternatesLeftOldDataBehind();
// The current prefix used for alternate source names without a colon
// (per thread): the SQL check's interpreted file, or the converted file.
std::string& FilePrefix();

// ---------------------------------------------------------------- definitions

enum : int { kInFile = 1, kDestFile = 2 };

// Builds INFILE (which == 1) or DESTFILE (any other value) from the
// serialisation at the first byte of UpgFmt(), either generation.
// Result 1 when built; 0 when the stored driver is not registered (M10,
// nothing changed) or the serialisation is refused (damaged, a text
// above 255 characters, more than 74 keys or 250 memos, a record above
// 64000 bytes; traced under [B]).
rt::Long MakeFile(int which);
// The built definitions (empty declarations until the first MakeFile).
db::FileDecl& InFile();
db::FileDecl& DestFile();
// The name variables (STRING(255)); MakeFile names the definition it
// builds after them. The driver sets INFILE's; DESTFILE's stays blank.
std::string& InFileName();
std::string& DestFileName();

// The text from a 1-based position of UpgFmt() up to the next zero byte.
// `charsRead` receives the number of characters read (which may exceed
// 255: the text returned is then cut to 255 and the caller refuses it).
std::string StoredString(size_t position, size_t* charsRead = nullptr);
// The given bytes as text, at most 255 characters; blank for no bytes.
std::string MemoryToString(const uint8_t* address, size_t length);
// Widens the older generation's field-descriptor block that starts at the
// 1-based position of UpgFmt() and has the given length, in place.
// Result: the new length; 0 when the widened block would not fit.
rt::Long ConvertGroup(rt::Long position, rt::Long length);

// ---------------------------------------------------------------- record copy

// The working values of one CopyRec call (shared with the conversion).
struct CopyContext {
  const uint8_t* sourceRecord = nullptr;
  uint8_t* destRecord = nullptr;
  rt::Long i = 1, j = 1, k = 1, l = 1;  // element being copied
  rt::Long sourceOffset = 0;             // byte offset of the source element
  rt::Long destOffset = 0;               // byte offset of the destination element
  rt::Long sourceGroupOffset = 0;        // of the enclosing group arrays' element
  rt::Long destGroupOffset = 0;
  std::array<uint8_t, 255> workValue{};
  std::string resultText, sourceText, stringValue, valueText;
  rt::Long integerValue = 0;
  rt::Byte binaryFlag = 0, emptyFlag = 0, nullFlag = 0;
};

// Fills the destination's record buffer (and memos) from the source's,
// field by field, walking DstQueue() and finding sources in SrcQueue().
void CopyRec(db::FileDecl& source, db::FileDecl& destination);

// Converts one element of `src` into one element of `dst` within the
// context's records (offsets and record addresses set by the caller). A
// memo row's bytes are its buffer (row.ptr). May change src.type while it
// works; the caller restores it.
void ConvertField(CopyContext& cx, FieldRow& src, const FieldRow& dst);

// The packers: a packed DECIMAL (sign first) or PDECIMAL (sign last) of
// `chars` digits, `places` of them after the point, as text with its
// leading zeros ("-00123.45"), and a number's text packed into `len`
// bytes (digits the field cannot hold are dropped, not rounded).
std::string DecimalToText(const uint8_t* bytes, int chars, int places);
std::string PDecimalToText(const uint8_t* bytes, uint32_t len, int chars, int places);
void TextToDecimal(std::string_view text, uint8_t* out, uint32_t len, int chars, int places);
void TextToPDecimal(std::string_view text, uint8_t* out, uint32_t len, int chars, int places);
// A number's text tidied: no trailing ".", no leading zeros ("0" is "").
std::string TrimNumberText(std::string text);
// 1 when the clipped value holds anything but digits, blanks, "." and "-".
bool IsFormatted(std::string_view value);

// The element subscripts of an alternate source name ("OLD:ARR[2,3]");
// each is 1 when absent.
void ParseArraySubscripts(std::string_view text, rt::Long& a, rt::Long& b, rt::Long& c,
                          rt::Long& d);

// ---------------------------------------------------------------- names

// Splits a data file's name into drive, directory, file name and
// extension as the file's driver understands names.
void nSplit(std::string_view name, std::string_view driver, std::string& drive,
            std::string& directory, std::string& fileName, std::string& extension);

// The data file that holds a name's table: the name up to its "\!" (a
// table inside a multi-table file); the clipped name when it has none.
std::string FileOfTable(std::string_view name);

}  // namespace upg
