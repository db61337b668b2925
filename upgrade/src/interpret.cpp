// The declared structure rendered as FDQ, KDQ and MDQ rows of the calling
// thread, read through the files layer's descriptor codec.
#include "velmora/upgrade/interpret.h"

#include <algorithm>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/create_flags.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {
namespace {

// The text after the first ":" (the whole text when there is none).
std::string AfterColon(std::string_view label) {
  size_t at = label.find(':');
  return std::string(at == std::string_view::npos ? label : label.substr(at + 1));
}

std::string Unquoted(std::string ext) {
  if (QuotedName(ext)) ext = ext.substr(1, ext.size() - 2);
  return ext;
}

const char* TypeText(db::Type t) {
  switch (t) {
    case db::Type::Byte: return "byte";
    case db::Type::Short: return "short";
    case db::Type::UShort: return "ushort";
    case db::Type::Date: return "date";
    case db::Type::Time: return "time";
    case db::Type::Long: return "long";
    case db::Type::ULong: return "ulong";
    case db::Type::SReal: return "sreal";
    case db::Type::Real: return "real";
    case db::Type::Decimal: return "decimal";
    case db::Type::PDecimal: return "pdecimal";
    case db::Type::BFloat4: return "bfloat4";
    case db::Type::BFloat8: return "bfloat8";
    case db::Type::String: return "string";
    case db::Type::CString: return "cstring";
    case db::Type::PString: return "pstring";
    case db::Type::Group: return "group";
  }
  return nullptr;
}

const char* DisplayPicture(db::Type t) {
  switch (t) {
    case db::Type::Byte: return "@n3";
    case db::Type::Short: return "@n-7";
    case db::Type::UShort: return "@n6";
    case db::Type::Date: return "@d1";
    case db::Type::Time: return "@t1";
    case db::Type::Long: return "@n-13";
    case db::Type::ULong: return "@n13";
    default: return "@n-13.2";
  }
}

bool IsStringType(db::Type t) {
  return t == db::Type::String || t == db::Type::CString || t == db::Type::PString;
}

// Step through the progress of one section (nothing under silent mode).
void Progress(size_t i, size_t total) {
  if (FlagOn(Flag::S) || total == 0) return;
  ProgressPercent() = static_cast<rt::Long>(i * 100 / total);
}

void InterpretKey(const db::KeyDesc& k) {
  KdqRow r;
  r.ptr = &k;
  r.keyFileName = k.extName;
  if (k.attrib & 0xE8u) r.att += " other";
  if (k.attrib & db::kKeyDup) r.att += " dup";
  if (k.attrib & db::kKeyOpt) r.att += " opt";
  if (k.attrib & db::kKeyNoCase) r.att += " nocase";
  if (k.attrib & db::kKeyPrimary) {
    r.att += " primary";
    r.dctMaster = 1;
  }
  r.numFields = static_cast<rt::Long>(k.components.size());
  for (int32_t c : k.components) r.fieldNums.push_back(static_cast<rt::Short>(c & 0xFFFF));
  Trace(Flag::B, "kdq:fields: " + r.fields);
  size_t colon = k.label.find(':');
  std::string prefixPart = colon == std::string::npos ? std::string() : k.label.substr(0, colon + 1);
  r.keyName = CapitalisedName(AfterColon(k.label));
  if (r.dctMaster == 0) r.dctMaster = ds_CheckCreateKey(prefixPart + SQLTableName(), k.label);
  Kdq().push_back(std::move(r));
}

void InterpretMemo(db::MemoDesc& m) {
  MdqRow r;
  r.memoFileName = m.extName;
  if (m.kind == db::kMemoText) r.attrib = "Ascii", r.type = 1;
  if (m.kind == db::kMemoBinary) r.attrib = "Binary", r.type = 2;
  r.length = static_cast<rt::Long>(m.size);
  r.ptr = &m.data;
  r.memoName = CapitalisedName(AfterColon(m.label));
  Mdq().push_back(r);
  if (FlagOn(Flag::B))
    WriteTrace("added to mdq: " + r.memoName + "; length: " + std::to_string(r.length) +
               "; ptr: " + std::to_string(reinterpret_cast<uintptr_t>(r.ptr)) +
               "; attrib: " + r.attrib + "; type: " + std::to_string(r.type));
}

void InterpretField(const db::FieldInfo& f, size_t n) {
  FdqRow r;
  const FdqRow* prev = Fdq().empty() ? nullptr : &Fdq().back();
  r.typeNum = static_cast<uint8_t>(f.type);
  r.cnum = static_cast<rt::Long>((n - 1) % 75 + 1);
  const char* text = TypeText(f.type);
  if (!text) {
    // A code the runtime does not know: nothing more of it was read.
    if (prev) r.type = prev->type, r.length = prev->length, r.name = prev->name;
    Fdq().push_back(std::move(r));
    return;
  }
  r.type = text;
  r.cpict = DisplayPicture(f.type);
  if (f.type == db::Type::Decimal || f.type == db::Type::PDecimal) {
    r.length = static_cast<rt::Long>(f.size);
    r.chars = static_cast<rt::Byte>(2 * f.size - 1);
    r.places = f.places;
    r.type += "(" + std::to_string(r.chars) + "," + std::to_string(r.places) + ")";
  } else if (f.type == db::Type::Group) {
    r.length = static_cast<rt::Long>(f.grpLen);
    r.type += " (next " + std::to_string(f.grpNum) + " fields)";
    r.cpict = "@s" + std::to_string(f.grpLen);
  } else if (IsStringType(f.type)) {
    r.length = static_cast<rt::Long>(f.size);
    if (f.attrib & db::kMemPicture) {
      r.other = "(" + f.picture + ")";
      r.picture = f.picture;
      r.cpict = (f.picture.empty() || f.picture[0] != '@') ? "@" + f.picture : f.picture;
    } else {
      r.other = "(" + std::to_string(f.size) + ")";
      r.cpict = "@s" + std::to_string(f.size);
    }
    r.type += r.other;
  } else {
    r.length = static_cast<rt::Long>(f.size);
  }
  if (f.type != db::Type::Group && (f.attrib & db::kMemExtName)) {
    r.altName = Unquoted(f.extName);
    r.exactName = QuotedName(f.extName) ? 1 : 0;
  }
  if (f.over) {
    r.over = 1;
    r.cpict = "@s5";
  }
  r.offset = static_cast<rt::Long>(f.offset);
  if (f.attrib & 0xE0) r.attrib += " other";
  if (f.attrib & db::kMemPicture) r.attrib += " picture";
  if (r.over) r.attrib += " over";
  if (!f.dims.empty()) {
    std::string sizes;
    for (size_t i = 0; i < f.dims.size(); ++i) {
      if (i) sizes += ",";
      sizes += std::to_string(f.dims[i]);
      if (i < 4) r.dims[i] = static_cast<rt::Long>(f.dims[i]);
    }
    r.attrib += " dim(" + sizes + ")";
    size_t d = std::min<size_t>(f.dims.size(), 4);
    for (size_t k = 0; k < d; ++k) {
      rt::Long stride = r.length;
      for (size_t m = k + 1; m < d; ++m) stride *= r.dims[m];
      r.factor[k] = stride;
    }
    if (r.over) r.match = 1;
  }
  std::string& prefix = FilePrefix();
  if (rt::Clip(prefix).empty()) {
    size_t colon = f.label.find(':');
    size_t under = f.label.find('_');
    if (colon != std::string::npos)
      prefix = f.label.substr(0, colon);
    else if (under != std::string::npos)
      prefix = f.label.substr(0, under);
  }
  r.name = CapitalisedName(AfterColon(f.label));
  if (f.attrib & db::kMemExtName) r.attrib += " name(" + r.altName + ")";
  Fdq().push_back(std::move(r));
  // Its answer reaches no stored row; asked for its traces.
  size_t colon = f.label.find(':');
  std::string prefixPart = colon == std::string::npos ? std::string() : f.label.substr(0, colon + 1);
  (void)ds_CheckCreateField(prefixPart + SQLTableName(), f.label);
}

// The date-time column a DATE or TIME part of a pair stands for (the
// name after the colon of the string's option row), empty when none.
std::string DateTimeField(const FdqRow& row) {
  const std::vector<FieldOption>& rfq = FieldOptions();
  std::string key = rt::Upper(rt::Clip(FilePrefix())) + ":" + rt::Upper(rt::Clip(row.name));
  Trace(Flag::C, "CheckComponentField: " + key);
  auto it = std::find_if(rfq.begin(), rfq.end(), [&](const FieldOption& o) { return o.name == key; });
  if (it == rfq.end() || it->value != "REALFIELD") return {};
  size_t at = static_cast<size_t>(it - rfq.begin());
  for (int back = 1; back <= 2 && at >= size_t(back); ++back) {
    const FieldOption& o = rfq[at - size_t(back)];
    Trace(Flag::C, "rfQueue value: " + o.value);
    if (o.value == "UNREALFIELD") {
      std::string name = AfterColon(o.name);
      Trace(Flag::B, "dtfield: " + name);
      return name;
    }
    if (o.value != "REALFIELD") break;
  }
  return {};
}

void ResolveComponents(KdqRow& key) {
  std::string used;  // " NAME," for every date-time column already keyed
  std::vector<rt::Short> kept;
  std::vector<FdqRow>& fdq = Fdq();
  for (rt::Short number : key.fieldNums) {
    size_t n = static_cast<size_t>(number < 0 ? -number : number);
    if (n == 0 || n > fdq.size()) {
      rt::Stop("RV3: kfn " + std::string(rt::DefaultErrorText(30)) + " " + std::to_string(n));
      --key.numFields;
      continue;
    }
    const FdqRow* row = &fdq[n - 1];
    std::string dt = DateTimeField(*row);
    if (!dt.empty()) {
      std::string mark = " " + dt + ",";
      if (used.find(mark) != std::string::npos) {
        --key.numFields;  // the pair's column is in the key already
        continue;
      }
      used += mark;
      auto it = std::find_if(fdq.begin(), fdq.end(),
                             [&](const FdqRow& r) { return rt::Upper(rt::Clip(r.name)) == dt; });
      if (it != fdq.end())
        row = &*it;
      else
        Trace(Flag::B,
              "Could find DateTime field for creating date component key! Further errors "
              "expected!");
    }
    std::string column;
    if (rt::Clip(row->altName).empty())
      column = rt::Upper(rt::Clip(row->name));
    else if (ServerCaseSensitive())
      column = rt::Clip(row->altName);
    else
      column = rt::Upper(rt::Clip(row->altName));
    key.fields += " " + KeyListWord(column);
    CutAtMarker(key.fields, "READONLY");
    CutAtMarker(key.fields, "BINARY");
    kept.push_back(number);
  }
  key.fieldNums = std::move(kept);
  Trace(Flag::B, "Fields in kdq for key " + key.keyName + ": " + key.fields);
}

}  // namespace

std::vector<FdqRow>& Fdq() {
  thread_local std::vector<FdqRow> q;
  return q;
}
std::vector<KdqRow>& Kdq() {
  thread_local std::vector<KdqRow> q;
  return q;
}
std::vector<MdqRow>& Mdq() {
  thread_local std::vector<MdqRow> q;
  return q;
}

rt::Byte& ServerCaseSensitive() {
  static rt::Byte flag = 0;
  return flag;
}
std::string& SQLTableName() {
  static std::string name;
  return name;
}
std::string& WaitMessage() {
  static std::string text;
  return text;
}

bool CutAtMarker(std::string& text, std::string_view word) {
  size_t at = rt::Upper(text).find(word);
  if (at == std::string::npos) return false;
  text.resize(at >= 1 ? at - 1 : 0);
  return true;
}

std::string CapitalisedName(std::string_view name) {
  std::string out = rt::Lower(rt::Clip(name));
  if (!out.empty()) out[0] = rt::UpperChar(out[0]);
  return out;
}

namespace {
// The create check's answer: the row of the field or key, else the row of
// the file, else the option of its kind; with its traces.
rt::Byte CreateCheck(std::string_view routine, std::string_view fileText, std::string_view text,
                     const std::vector<FileFlag>& own, const std::vector<FileFlag>& file,
                     rt::Byte option) {
  Trace(Flag::A, "-- Start of " + std::string(routine) + " " + std::string(fileText) + " " +
                     std::string(text) + " --");
  rt::Byte result = FindCreateFlag(own, text).value_or(
      FindCreateFlag(file, fileText).value_or(option == 1 ? 1 : 0));
  Trace(Flag::A, "-- End of " + std::string(routine) + " " + std::to_string(result) + " --");
  return result;
}
}  // namespace

std::string KeyListWord(std::string_view column) {
  std::string word(column);
  std::replace(word.begin(), word.end(), ' ', '\x1F');
  return word;
}

std::string KeyListColumn(std::string_view word) {
  std::string column(word);
  std::replace(column.begin(), column.end(), '\x1F', ' ');
  return column;
}

rt::Byte ds_CheckCreateField(std::string_view fileText, std::string_view fieldText) {
  return CreateCheck("ds_CheckCreateField", fileText, fieldText, DMF(), DMFF(),
                     CurrentOptions().dctMasterFields);
}

rt::Byte ds_CheckCreateKey(std::string_view fileText, std::string_view keyText) {
  return CreateCheck("ds_CheckCreateKey", fileText, keyText, DMK(), DMKF(), CurrentOptions().dctMasterKeys);
}

void ds_InterpretStructure(db::FileDecl& file) {
  Trace(Flag::A, "ds_InterpretStructure of rv2b IN");
  Fdq().clear();
  Mdq().clear();
  Kdq().clear();
  std::string name = file.Name();

  WaitMessage() = "Reading Keys... " + name;
  const std::vector<db::KeyDesc>& keys = file.Keys();
  for (size_t i = 0; i < keys.size(); ++i) {
    InterpretKey(keys[i]);
    Progress(i, keys.size());
  }

  WaitMessage() = "Reading Memos... " + name;
  std::vector<db::MemoDesc>& memos = file.Memos();
  for (size_t i = 0; i < memos.size(); ++i) {
    InterpretMemo(memos[i]);
    Progress(i, memos.size());
  }

  WaitMessage() = "Reading Fields... " + name;
  FilePrefix().clear();
  // The one descriptor codec: string lengths, numbers and OVER references
  // are read as the files layer writes them, never past the block.
  std::vector<db::FieldInfo> fields = db::block::Decode(file.FieldBlock());
  for (size_t n = 1; n <= fields.size(); ++n) {
    InterpretField(fields[n - 1], n);
    Progress(n, fields.size());
  }

  for (KdqRow& key : Kdq()) ResolveComponents(key);
  Trace(Flag::A, "ds_InterpretStructure of rv2b OUT");
}

}  // namespace upg
