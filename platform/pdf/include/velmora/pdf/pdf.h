#pragma once
// The PDF library's operations. One document is selected per thread: loading
// selects the new document, and every page and field operation acts on the
// calling thread's selected document and page. Without a selected document
// every operation returns 0 or an empty text.
//
// Texts in and out are Windows-1252 bytes. Field numbers count from 1 in the
// order of the form's field tree; pages count from 1. Names and values are
// decoded from whatever form the file holds them in (UTF-16, UTF-8,
// PDFDocEncoding, escapes).
#include <string>

// Documents. iSEDLoadFromFile returns the new document's id (0 on failure,
// and for a form whose field tree is deeper than 64 levels). A file whose
// structure cannot be read with 10 seconds of work (and within a minute
// however busy the machine), or whose page tree, field
// tree or annotations would take work out of proportion to its size, is
// refused. iSEDLoadFailure tells why this thread's last load returned 0:
// 1 not a PDF file, damaged or locked by a password, 2 too large, deep or
// complex to be read in time (0 after a load that succeeded). Saving draws
// check boxes and radio buttons whose appearances are missing or empty.
int iSEDLoadFromFile(const std::string& file);
int iSEDLoadFailure();
int iSEDEncrypted();
int iSEDUnencrypt();
int iSEDSelectedDocument();
int iSEDRemoveDocument(int document);
int iSEDSaveToFile(const std::string& file);
int iSEDSetNeedAppearances(int need);

// Pages. Boxes: 1 MediaBox, 2 CropBox, 3 BleedBox, 4 TrimBox, 5 ArtBox.
// Dimensions: 0 left, 1 top, 2 width, 3 height, 4 right, 5 bottom.
//
// Page and field geometry is in points on the page as a reader shows it
// (its rotation applied), from the lower-left corner of its MediaBox; the
// width and height are those of the CropBox (else the MediaBox).
int iSEDPageCount();
int iSEDSelectPage(int page);
double iSEDPageWidth();
double iSEDPageHeight();
int iSEDHasPageBox(int box);
double iSEDGetPageBox(int box, int dimension);
// Option 3: a line per text run, "left top width height size font|text" (points from the shown page's top left); else plain text.
std::string iSEDGetPageText(int options);
int iSEDCombineLayers();
std::string iSEDGetPageContent();
// Reads the text of pages first..last in parallel, ahead of
// iSEDGetPageText for each of them (which then answers from it). Returns 1
// when the pages are within the document.
int iSEDReadPageTexts(int options, int firstPage, int lastPage);
// 1 when the selected page holds more content than can be read (64 MB
// decoded, or as much text): its text and content read as empty, its layers
// stay apart, and its picture is blank paper.
int iSEDPageContentTooLarge();
// Options: 1 JPEG, 5 PNG, 6 GIF. "%p" in the pattern stands for the page
// number. Returns 1 when every page was written.
int iSEDRenderDocumentToFile(int resolution, int firstPage, int lastPage,
                             int options, const std::string& pattern);
// The resolution page `page` was drawn at by the last rendering of the
// selected document: the one asked for, or lower for a page whose picture
// would be too large at it (0 when the page was not drawn).
double iSEDRenderedResolution(int page);

// Information keys: 0 version, 1 author, 2 title, 3 subject, 5 creator,
// 6 producer, 7 creation date, 8 modification date.
std::string iSEDGetInformation(int key);
int iSEDFindFonts();
int iSEDFontID(int index);
int iSEDSelectFont(int id);

// Reading fields. Types: 1 text, 2 push button, 3 check box, 4 radio group,
// 5 choice (0 other). Edges: 0 left, 1 top, 2 width, 3 height. Text flags: 1 multi-line, 2 password,
// 3 file select, 4 do not spell check, 5 do not scroll. The kids of a radio
// group are its buttons, of a check box its on-state names, of a choice its
// options; a radio button's temporary index is a negative field number of
// its own (-1, -2, ...), so it never meets a field's number. A radio
// group's value that names none of its buttons reads "Off".
int iSEDFormFieldCount();
int iSEDGetFormFieldType(int field);
std::string iSEDGetFormFieldTitle(int field);
int iSEDGetFormFieldPage(int field);
int iSEDGetFormFieldTabOrder(int field);
int iSEDGetFormFieldMaxLen(int field);
std::string iSEDGetFormFieldFontName(int field);
int iSEDGetFormFieldAlignment(int field);
std::string iSEDGetFormFieldValue(int field);
std::string iSEDGetFormFieldDescription(int field);
int iSEDGetFormFieldVisible(int field);
int iSEDGetFormFieldSubCount(int field);
double iSEDGetFormFieldBound(int field, int edge);
int iSEDGetFormFieldTextFlags(int field, int flag);
std::string iSEDGetFormFieldSubName(int field, int kid);
int iSEDGetFormFieldSubTempIndex(int field, int kid);

// Writing fields. Colours are red, green, blue fractions (0..1). Border
// styles: 0 solid, 1 dashed, 2 beveled, 3 inset. Alignment: 0 left,
// 1 centre, 2 right. Rotation: 0, 90, 180, 270 degrees from the page as
// shown. Values of check boxes: an on-state or export name, or "T", "Yes",
// "On", "True", "1", "X", "Checked" (any case) for on, anything else off;
// of radio groups: a button's export value or "Off" (others change nothing). Flattening draws the field into its page and
// removes it; later fields move down one number.
int iSEDNewFormField(const std::string& title, int kind);
int iSEDSetFormFieldPage(int field, int page);
int iSEDSetFormFieldBounds(int field, double left, double top, double width,
                           double height);
int iSEDSetFormFieldColor(int field, double red, double green, double blue);
int iSEDSetFormFieldBackgroundColor(int field, double red, double green,
                                    double blue);
int iSEDSetFormFieldBorderColor(int field, double red, double green,
                                double blue);
int iSEDSetFormFieldBorderStyle(int field, double width, int style,
                                double dashOn, double dashOff);
int iSEDSetFormFieldAlignment(int field, int alignment);
int iSEDSetFormFieldTextFlags(int field, int multiLine, int password,
                              int fileSelect, int doNotSpellCheck,
                              int doNotScroll);
int iSEDSetFormFieldRotation(int field, int degrees);
// The field's text in one of the fourteen standard fonts, by its base font
// name ("Helvetica-Bold", "Times-Roman", ...; 0 for any other name), and
// in a size in points (0: fitted to the field).
int iSEDSetFormFieldStandardFont(int field, const std::string& baseFont);
int iSEDSetFormFieldTextSize(int field, double size);
int iSEDSetFormFieldReadOnly(int field, int readOnly);
int iSEDSetFormFieldValue(int field, const std::string& value);
int iSEDUpdateAppearanceStream(int field);
int iSEDFlattenFormField(int field);

// Printing. Page scaling: 0 actual size, 1 fit to the paper; auto-rotate
// and centre: nonzero turns pages to the paper's orientation and centres
// them. The returned options value (0 on failure) goes to iSEDPrintDocument.
int iSEDPrintOptions(int pageScaling, int autoRotateCenter,
                     const std::string& title);
int iSEDPrintDocument(const std::string& printer, int firstPage, int lastPage,
                      int options);
