#pragma once
// The Form Editor: one page of a form as a picture with every field of the
// form laid over it as a live window control. It runs in one of three
// modes: "1" designing a form, "2" filling a data set, "3" empty (the user
// opens a PDF file from it). It works on the form, page and data set its
// caller left in the thread's record buffers (FOR, FOR1, FIL) and writes
// nothing to the data files before "Exit and Save".
//
// All state of an editor (its control queue, zoom, page origin, the mouse
// state of field insertion) belongs to its window, so two editors, or an
// editor opened from inside another on the same thread, keep apart.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/apppdf/fdf.h"
#include "velmora/classlib/window.h"
#include "velmora/editor/formcontrols.h"
#include "velmora/runtime/types.h"
#include "velmora/ui/window.h"

namespace apppdf {
class FormDocument;
}

namespace editor {

// The window's controls, numbered in declaration order (menus first).
enum Control : int {
  kFile = 1, kFilePrint, kFileImportFields, kFileImportData, kFileImportDataFromPdf,
  kFileImportDataFromFdf, kSend, kSendEmailAs, kSendEmailAsUneditablePdf, kEdit, kEditTabOrder,
  kToolbar, kLookupFile, kPdfOpen, kButton1, kZoomIn, kZoomOut, kZoomWidth, kZoomPage, kZoomActual,
  kInfo, kZoomValue, kFaceName, kFontSize, kBold, kItalic, kUnderline, kStrike, kRtfFont, kRtfColor,
  kSaveForm, kSaveFormLocked, kPrompt1, kSave, kCancel, kPrint, kControlType, kPageNo, kButton5,
  kSelectFilledForm, kLoadDataFromPdf, kForm,
};

// The program's own events: the mouse moved over the page, a mouse button
// went down on it.
inline constexpr int kMouseMoved = 1408;
inline constexpr int kMouseDown = 1409;

class FormEditor;

// Procedures of other windows that the editor calls on its thread. Each
// returns a record window's response (cl::response); until the window
// exists the default answers "cancelled". Tests replace them.
struct EditorCalls {
  // The data-set window with ThreadRequest set (1 insert, 2 change).
  std::function<int(FormEditor&)> updateFilledForm;
  // The data-set list; on 1 the chosen data set is in the ALI buffer.
  std::function<int(FormEditor&)> selectFilledForm;
  // The form record window; `withDataSet` shows and saves the data set too.
  std::function<int(FormEditor&, bool withDataSet)> updateForms;
};
EditorCalls& Calls();
// Puts the defaults back.
void ResetCalls();

// Runs the editor on the calling thread until its window closes.
void RunFormEditor(std::string_view mode);

// The program is ending: every open editor is asked to close, newest
// first, as its close box would (one holding unsaved changes asks the user
// whether to save them), and each is waited for. False as soon as one
// stays open (the user chose Cancel); the editors after it are not asked.
// Called by a thread that runs no editor itself.
bool CloseEditors();

class FormEditor : public cl::ProcedureWindow {
 public:
  explicit FormEditor(std::string mode);
  ~FormEditor() override;

  int Setup() override;
  int Teardown() override;
  int OnAccepted() override;
  int OnNewSelection() override;
  int OnWindowEvent() override;
  int OnFieldEvent() override;
  int DispatchEvent() override;
  // True while the editor handles an event (also while a dialog of it
  // waits for the user).
  bool Busy() const { return busy_ > 0; }

  // ---- pages and controls
  void BuildPageControls();
  void ShowPage();
  void ApplyZoom();
  void HidePageControls();
  void ShowPageControls();
  void FreeControls();
  void MeasureClientArea();
  void LoadScreenFonts();
  // The font list holds `FaceName` (a face the desktop substitutes is
  // added to it under its own name).
  void ListFaceName();
  void FillFontSizes();
  // Switches to the page in FOR1:PAGENO.
  void SwitchPage();

  // ---- commands
  void OpenPdfFile();
  void ExitWithoutSave();
  void SelectData();
  void LookupPicture();
  void DeleteSelectedControl();
  void SetCheckState(bool byClick);
  void ExitAndSave();
  // Whether the fields differ from what the data files hold (the last
  // load or save): a value typed or imported, a field added, deleted,
  // moved or changed.
  bool HasUnsavedChanges();

  // ---- field insertion
  void StartInsert();
  void MouseMoved();
  void MouseDown();
  void CancelInsert();

  // ---- the work of other windows, called from the commands; each does
  // nothing until its window is built
  void ImportFields();
  void ImportDataFromFdf();
  // Reads the values of the PDF named in PdfFileName into the fields, by
  // field number.
  void LoadDataFromPdf();
  // "Load Data from PDF File": a PDF chosen in a file dialog, then
  // LoadDataFromPdf.
  void ImportDataFromPdf();
  void SaveFillablePdf();
  void SaveUneditablePdf();
  void PrintForm();
  void EmailPdf(bool uneditable);
  void TabOrderEditor();
  void UpdateRuntimeControl();
  void MorphBox(int control);

  // ---- writing the form's PDF
  // Writes the queue into the selected PDF document; "" when every field
  // was written, else what failed.
  std::string WritePdfFields();

  // ---- state
  std::string Mode;  // "1", "2" or "3"
  FormControls Queue;
  Short ZoomPercent = 100;
  Real ZoomFactor = 1.0;
  Long PageLeft = 0, PageTop = 0;
  Short ZoomMode = kActualSize;
  Byte ZoomStep = kZoomStep;
  Short ShownPage = 0;
  Long LogPixelsX = 96, LogPixelsY = 96;
  Long PageWidthPx = 0, PageHeightPx = 0;
  Long ClientWidth = 0, ClientHeight = 0;
  Long FieldColor = 0, SelectedFieldColor = 0, RadioFieldColor = 0, SelectedRadioFieldColor = 0;
  Byte DefaultFlat = 1, DefaultBoxed = 1, DefaultTransparent = 0;
  CString<32> FaceName;
  CString<3> FontSize;
  Byte Bold = 0, Italic = 0, Underline = 0, Strike = 0;
  CString<20> ControlTypeText;
  Short ZoomValue = 100;  // the zoom spin's variable
  std::vector<std::string> ScreenFonts;
  Byte PdfOpened = 0;
  Long PreviousControl = -1;
  Short PreviousType = 0;
  Byte PreviousChecked = 0;
  CString<128> ValueOnEntry;
  // field insertion
  Byte InsertMode = 0, Dragging = 0, ClickCount = 0;
  Short BandControl = 0;
  Long StartX = 0, StartY = 0;
  // The form and data set this window works on, taken at set-up (and when
  // a PDF is opened): nested windows may change the thread's buffers.
  Long FormId = 0;
  Long DataSetId = 0;
  // The PDF whose values LoadDataFromPdf reads (Windows-1252), and the FDF
  // reader with its queue.
  std::string PdfFileName;
  apppdf::FdfReader Fdf;
  apppdf::FdfQueue FdfQueue;

  // The mouse state the client procedure writes on the thread that owns
  // the page, read by the editor's thread.
  struct Mouse {
    std::atomic<intptr_t> lParam{0};
    std::atomic<int> lastX{-32768}, lastY{-32768};
  };
  std::shared_ptr<Mouse> MouseState = std::make_shared<Mouse>();

  // The queue entry of a control number (its position); 0 when none.
  long FindControl(int control);
  // Screen rectangle of an entry.
  Rect ScreenRectOf(const FormControl& e) const;
  // Places the entry's control (and the X of a checked check).
  void PlaceControl(const FormControl& e);
  // Draws and removes the X of a check placed in the editor.
  void DrawCheck(FormControl& e);
  void RemoveCheck(FormControl& e);
  // What the field controls show goes into their values (typed text
  // reaches a value as it is typed, whatever the control).
  void TakeFieldValues();
  // Texts that "Exit and Save" could not write; empty after a clean save.
  const std::vector<std::string>& Unsaved() const { return unsaved_; }

 private:
  void ReadSettings();
  // What "Exit and Save" would write, as one text (values taken from the
  // controls first).
  std::string SavedState();
  // The close box, the frame's Exit or the end of the desktop session:
  // unsaved changes are saved, dropped or kept open as the user answers.
  // False when the window stays open.
  bool MayClose();
  // The PDF procedures' progress texts go to zone 1 of the status bar.
  void InstallStatus();
  void SetEmptyToolbar(bool empty);
  void SetCaption();
  void FieldSelected(long position);
  void FieldKeystroke(long position);
  void RightClick(long position);
  void CheckAccepted(long position);
  void CreateField();
  // A new text or check field on `page` as the editor places it: its
  // control (hidden, not yet placed) and its entry in the queue buffer with
  // id, tab order, name, font from the toolbar and the new-field defaults.
  // Returns the control's number.
  int NewField(bool text, Short page, const std::string& name);
  // Selects button `button` of the radio group with PDF field number
  // `group` and clears the others; 0 clears the whole group.
  void SetRadioGroup(Short group, Short button);
  // The radio button of group `group` whose export value is `value`
  // (through the form's FieldValues rows); 0 when none.
  Short RadioButtonOf(Short group, const std::string& value);
  // Destroys the band and ends the insertion.
  void EndInsert();
  // Zoom factor and page origin for the client area; the page picture placed.
  void PlacePage();
  Short NewTabOrder(Short page);
  Long NewControlId(Short page, Long control);
  std::string NewFieldName();
  bool SaveRecords();
  bool LoadPageRecord();
  // The form's stored PDF through `workingCopy` into `doc` with the
  // queue's fields and values, their appearances drawn, flattened when
  // asked; false when anything failed (doc says what).
  bool WriteFormPdf(apppdf::FormDocument& doc, const std::string& workingCopy, bool flatten);
  void SaveFormPdf(bool uneditable);
  // Hands the pictures of the pages after the shown one, in the direction
  // of the last switch, to the window to be decoded ahead.
  void PrefetchNextPages();
  int Key(int file, std::string_view label) const;

  std::vector<int> opened_;  // files opened by set-up (data::FileId values)
  std::vector<int> relationsOpened_;
  std::vector<std::string> unsaved_;
  std::string savedState_;  // SavedState() when the fields were last loaded or saved
  bool leaving_ = false;    // Exit and Save or Exit without Save closes the window
  bool dataSetAdded_ = false;  // Open PDF File added DataSetId to a form kept from before

  Short pageNo_ = 1;  // the page spin's variable
  Short pageStep_ = 1;  // the direction of the last page switch
  std::atomic<int> busy_{0};
};

// The open editor whose window has this handle (tests); nullptr when none.
FormEditor* EditorOfWindow(long handle);

}  // namespace editor
