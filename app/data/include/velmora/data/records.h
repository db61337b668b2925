#pragma once
// The record buffers of the nine data files, byte for byte as declared.
#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"

namespace data {

using rt::Byte;
using rt::CString;
using rt::Long;
using rt::Real;
using rt::Short;
using rt::String;

#pragma pack(push, 1)

struct FormsRecord {  // FOR
  Long ID;
  CString<80> FORMNAME;
  Long DATECREATED;
  Long TIMECREATED;
  Byte ISPDF;
  CString<128> ORIGINALPDFFILE;
  CString<20> PDFVERSION;
  CString<256> AUTHOR;
  CString<256> TITLE;
  CString<256> SUBJECT;
  CString<256> CREATOR;
  CString<256> PRODUCER;
  CString<20> CREATIONDATE;
  CString<20> MODIFICATIONDATE;
  Short TOTALPAGES;
};

struct PDFDetailsRecord {  // PDF
  Long ID;
  CString<20> PDFVERSION;
  CString<256> AUTHOR;
  CString<256> TITLE;
  CString<256> SUBJECT;
  CString<256> CREATOR;
  CString<256> PRODUCER;
  CString<20> CREATIONDATE;
  CString<20> MODIFICATIONDATE;
};

struct FormPagesRecord {  // FOR1
  Long FORMID;
  Short PAGENO;
  Byte FLAG;
  Real PAGEWIDTH;
  Real PAGEHEIGHT;
  Real XOFFSET;
  Real YOFFSET;
};

struct PageControlsRecord {  // PAG
  Long FORMID;
  Short PAGENO;
  Long CONTROLID;
  Long CONTROLUNIQUEID;
  Short CONTROLFEQ;
  CString<80> CONTROLNAME;
  Long CONTROLTYPE;
  Long CONTROLX;
  Long CONTROLY;
  Long CONTROLWIDTH;
  Long CONTROLHEIGHT;
  CString<64> CONTROLFONTNAME;
  Short CONTROLFONTHEIGHT;
  Byte CONTROLFONTBOLD;
  Byte CONTROLFONTITALIC;
  Byte CONTROLFONTUNDERLINE;
  Byte CONTROLFONTSTRIKE;
  CString<64> CONTROLPICTURE;
  Byte CONTROLFLAT;
  Byte CONTROLTRANSPARENT;
  Byte CONTROLBOXED;
  Byte CONTROLALIGNMENT;
  Short CONTROLTABORDER;
  Short PDFFIELDNUMBER;
  CString<60> PDFFIELDNAME;
  Short PDFFIELDTYPE;
  Short PDFFIELDLENGTH;
  CString<128> PDFVALUE;
  CString<128> PDFFIELDDESCRIPTION;
  Byte PDFISMULTILINE;
  Short RADIOBUTTONNUMBER;
  Byte FILEDWASCREATEDATRUNTIME;
  Long PDFFIELDBACKGROUNDCOLOR;
  Long PDFFIELDTEXTCOLOR;
  Long PDFFIELDROTATION;
  Byte HASBORDER;
  Long PDFBORDERCOLOR;
  Long BORDERSTYLE;
  Real BORDERWIDTH;
  Real DASHON;
  Real DASHOFF;
  Real PDFX;
  Real PDFY;
  Real PDFWIDTH;
  Real PDFHEIGHT;
  Byte IMPORTEDFIELD;
  Byte HIDDEN;
};

struct FieldValuesRecord {  // FIE
  Long FORMID;
  Long CONTROLID;
  Short VALUENUMBER;
  CString<60> CONTROLVALUE;
  Short RADIOBUTTONNUMBER;
};

struct FilledFormRecord {  // FIL, and ALI for AliasFilledForm
  Long ID;
  Long DATECREATED;
  Long TIMECREATED;
  Long FORMID;
  String<128> FILLEDFORMNAME;
};
using AliasFilledFormRecord = FilledFormRecord;

struct FilledDataRecord {  // FIL1
  Long ID;
  String<128> FILLEDFORMNAME;
  Short PAGENO;
  Long CONTROLID;
  Byte ISCHECKBOX;
  CString<4096> VALUE;
};

struct ImportFieldsRecord {  // IMP
  Short PAGENO;
  CString<80> CONTROLNAME;
  Real FIELDX;
  Real FIELDY;
  Real FIELDWIDTH;
  Real FIELDHEIGHT;
};

#pragma pack(pop)

// The declared record lengths.
static_assert(sizeof(FormsRecord) == 1563);
static_assert(sizeof(PDFDetailsRecord) == 1344);
static_assert(sizeof(FormPagesRecord) == 39);
static_assert(sizeof(PageControlsRecord) == 661);
static_assert(sizeof(FieldValuesRecord) == 72);
static_assert(sizeof(FilledFormRecord) == 144);
static_assert(sizeof(FilledDataRecord) == 4235);
static_assert(sizeof(ImportFieldsRecord) == 114);

}  // namespace data
