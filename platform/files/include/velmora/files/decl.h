#pragma once
// File declarations as data: what the runtime knows of a declared file.
// The program's own declarations and the definitions the upgrade engine
// builds at run time come from the same builder (DeclBuilder) or from a
// record descriptor block read back byte for byte (FileDecl::FromBlock).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

// Value type codes, as stored in the record descriptor block.
enum class Type : uint8_t {
  Byte = 1, Short = 2, UShort = 3, Date = 4, Time = 5, Long = 6, ULong = 7,
  SReal = 8, Real = 9, Decimal = 10, PDecimal = 11, BFloat4 = 13, BFloat8 = 14,
  String = 18, CString = 19, PString = 20, Group = 22,
};

// File attribute bits (header byte ATTRIB).
enum : uint8_t {
  kAttrOwner = 0x01, kAttrEncrypt = 0x02, kAttrCreate = 0x04,
  kAttrReclaim = 0x08, kAttrThread = 0x10, kAttrOem = 0x20,
};

// Key attribute bits.
enum : uint32_t {
  kKeyDup = 0x01, kKeyOpt = 0x02, kKeyNoCase = 0x04, kKeyPrimary = 0x10,
};

// Member descriptor attribute bits.
enum : uint8_t {
  kMemExtName = 0x01, kMemEmitted = 0x02, kMemPicture = 0x04,
  kMemOver = 0x08, kMemDims = 0x10,
};

// Memo kinds.
enum : uint8_t { kMemoText = 1, kMemoBinary = 3 };

// One field as decoded from the record descriptor block.
struct FieldInfo {
  Type type{};
  uint8_t attrib = 0;
  uint32_t size = 0;        // storage size of one element (0 for GROUP)
  uint8_t places = 0;       // DECIMAL/PDECIMAL decimal places
  uint32_t grpLen = 0, grpNum = 0, grpDef = 0;
  std::string picture;      // declared picture, empty when none
  std::string label;        // "FOR:FORMNAME"
  std::string extName;      // external name, empty when none
  bool over = false;        // declared OVER another field (reference high bit set)
  uint32_t overRef = 0;     // the OVER reference number (1-based field number)
  std::vector<uint32_t> dims;  // empty for a scalar
  uint32_t offset = 0;      // 0-based byte offset in the record
  int parent = -1;          // index of the enclosing GROUP, -1 at top level
  // Both saturate at UINT32_MAX (a damaged block never yields a small size).
  uint32_t Elements() const;  // product of dims (1 for a scalar)
  uint32_t Bytes() const;     // bytes in the record: size (GROUP: grpLen) * elements
};

struct KeyDesc {
  std::string label;        // "FOR:ID_Key"
  std::string extName;
  uint32_t attrib = 0;      // kKey* bits
  std::vector<int32_t> components;  // 1-based field numbers, negative = descending
  int autoNumber = 0;       // auto-numbered component (1-based), 0 for none; not stored
};

struct MemoDesc {
  std::string label;        // "FOR:PDFDATA"
  std::string extName;
  uint8_t kind = kMemoBinary;
  uint32_t size = 0;        // declared size in bytes
  std::vector<uint8_t> data;  // the memo's buffer for the current record
};

class FileDecl;

// Builds a declaration; fields are added in declaration order.
class DeclBuilder {
 public:
  DeclBuilder(std::string label, std::string prefix);
  DeclBuilder& Driver(std::string name);     // registered driver name, e.g. "ISAM"
  DeclBuilder& Name(std::string name);       // e.g. ".\\data\\forms.tps"
  DeclBuilder& Owner(std::string owner);
  DeclBuilder& Send(std::string send);       // driver options text
  DeclBuilder& Attributes(uint8_t attrib);   // kAttr* bits

  // Scalars and strings; `name` is without prefix ("FORMNAME"); labels are
  // emitted upper-cased with the prefix ("FOR:FORMNAME"). `size` is the
  // length of a STRING/CSTRING/PSTRING and the digit count of a DECIMAL or
  // PDECIMAL (stored in digits/2+1 bytes); other types ignore it.
  // Misuse (unknown OVER target, unbalanced groups, missing sizes) throws
  // std::logic_error or std::invalid_argument: it is a declaration bug.
  DeclBuilder& Field(Type type, std::string name, uint32_t size = 0,
                     uint8_t places = 0);
  DeclBuilder& Picture(std::string picture);  // for the last field added
  DeclBuilder& ExtName(std::string ext);      // for the last field added
  DeclBuilder& Dim(std::vector<uint32_t> dims);  // for the last field added
  DeclBuilder& Over(std::string overLabel);   // last field is OVER this field
  DeclBuilder& BeginGroup(std::string name);  // members follow until EndGroup
  DeclBuilder& EndGroup();

  DeclBuilder& Key(std::string name, std::vector<int32_t> components,
                   uint32_t attrib, std::string extName = {});
  // Key labels keep their case ("FOR:ID_Key"); memo labels are upper-cased
  // like field labels ("FOR:PDFDATA").
  DeclBuilder& Memo(std::string name, uint8_t kind, uint32_t size,
                    std::string extName = {});

  // The finished declaration with its own zeroed record buffer.
  std::unique_ptr<FileDecl> Build() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// A declared file: the header's meaning, the record descriptor block byte
// for byte, keys, memos and the record buffer. One instance is one open
// instance of the file (a THREAD file has one per thread).
class FileDecl {
 public:
  // Rebuilds a declaration from its parts (the upgrade engine's run-time
  // definitions). Fields are decoded from the block.
  static std::unique_ptr<FileDecl> FromBlock(
      std::string label, std::string prefix, std::string driver,
      std::vector<uint8_t> fieldBlock, std::vector<KeyDesc> keys,
      std::vector<MemoDesc> memos, uint8_t attrib, uint32_t recLen);

  ~FileDecl();
  FileDecl(const FileDecl&) = delete;
  FileDecl& operator=(const FileDecl&) = delete;

  // A second instance of the same declaration (own buffer, closed).
  std::unique_ptr<FileDecl> Clone() const;

  const std::string& Label() const { return label_; }
  const std::string& Prefix() const { return prefix_; }
  const std::string& DriverName() const { return driver_; }
  uint32_t DriverEntry() const;        // the driver's registry handle (RTFH:DRIVER)
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& Owner() const { return owner_; }
  void SetOwner(std::string owner) { owner_ = std::move(owner); }
  const std::string& SendText() const { return send_; }
  void SetSendText(std::string send) { send_ = std::move(send); }
  uint8_t Attributes() const { return attrib_; }
  void SetAttributes(uint8_t a) { attrib_ = a; }
  uint8_t Flags() const { return flags_; }

  uint32_t RecordLength() const { return recLen_; }
  uint8_t* Record() { return record_; }
  const uint8_t* Record() const { return record_; }
  // Points the declaration at an external buffer of RecordLength() bytes
  // (a packed record struct); nullptr returns to the owned buffer.
  void BindRecord(uint8_t* buffer);
  void ClearRecord();  // CLEAR(record): zeros, blanks in STRING fields

  const std::vector<uint8_t>& FieldBlock() const { return block_; }
  const std::vector<FieldInfo>& Fields() const { return fields_; }
  int FieldIndex(std::string_view label) const;  // 0-based, -1 when absent; case-insensitive
  std::vector<KeyDesc>& Keys() { return keys_; }
  const std::vector<KeyDesc>& Keys() const { return keys_; }
  int KeyIndex(std::string_view label) const;    // 0-based, -1 when absent
  std::vector<MemoDesc>& Memos() { return memos_; }
  const std::vector<MemoDesc>& Memos() const { return memos_; }
  int MemoIndex(std::string_view label) const;   // 0-based, -1 when absent

  // Driver commands sent (SEND) while the file was closed; the driver
  // applies them at the next open.
  std::vector<std::string>& SentCommands() { return sent_; }

  // Driver state of the open instance (owned by platform/files).
  struct OpenState;
  OpenState* State() const { return state_.get(); }
  std::unique_ptr<OpenState>& StateSlot() { return state_; }

 private:
  friend class DeclBuilder;
  FileDecl();
  std::string label_, prefix_, driver_, name_, owner_, send_;
  uint8_t attrib_ = 0, flags_ = 0;
  uint32_t recLen_ = 0;
  std::vector<uint8_t> block_;
  std::vector<FieldInfo> fields_;
  std::vector<KeyDesc> keys_;
  std::vector<MemoDesc> memos_;
  std::vector<std::string> sent_;
  std::vector<uint8_t> ownRecord_;
  uint8_t* record_ = nullptr;
  std::unique_ptr<OpenState> state_;
};

// The record descriptor block codecs (head, member descriptors and the
// three number encodings), shared by the builder, FromBlock and the engine.
namespace block {
void PutStringLength(std::vector<uint8_t>& out, uint32_t len);
void PutNumber(std::vector<uint8_t>& out, uint32_t value);
// Readers advance `pos`; they never read past `end` (a short stream reads 0).
uint32_t GetStringLength(const uint8_t* data, size_t end, size_t& pos);
uint32_t GetNumber(const uint8_t* data, size_t end, size_t& pos);
// Decodes every member descriptor with record offsets (OVER fields share
// the bytes they overlay; arrays are row-major).
std::vector<FieldInfo> Decode(const std::vector<uint8_t>& block);
}  // namespace block

}  // namespace db
