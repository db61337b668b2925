#pragma once
// ProcedureWindow: the base of every window procedure. Its operations run
// in a fixed order: RunWindow calls Setup, then (when Setup succeeded) the
// EventLoop, then Teardown. The loop hands each event to DispatchEvent,
// which calls the handler for its kind and then every component
// registered with the window (browse lists, the toolbar router, the
// resizer), in the order they were added.
//
// Handlers return a Level (errors.h): kBenign lets the event go on to the
// next step, kNotify ends this event's handling (the components do not see
// it), kFatal ends the event loop.
//
// Record windows take a request (insert, change, delete, view) from the
// calling thread's ThreadRequest and leave the outcome in ThreadResponse.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/classlib/errors.h"
#include "velmora/classlib/filemanager.h"
#include "velmora/classlib/inimgr.h"
#include "velmora/classlib/relations.h"
#include "velmora/runtime/types.h"
#include "velmora/ui/desc.h"
#include "velmora/ui/window.h"

namespace cl {

// Requests of a record window and its responses.
namespace request {
inline constexpr int Insert = 1;
inline constexpr int Change = 2;
inline constexpr int Delete = 3;
inline constexpr int Select = 4;
inline constexpr int View = 6;
}  // namespace request
namespace response {
inline constexpr int Completed = 1;
inline constexpr int Cancelled = 2;
}  // namespace response

// The per-thread hand-over between a caller and a record window.
rt::Byte& ThreadRequest();
rt::Byte& ThreadResponse();
rt::Long& NavigationRequest();

// The caption a record window shows for its request: "View Record",
// "Record Will Be Added", "Record Will Be Changed"; "" for the others.
std::string_view RecordCaption(int request);

// The icon every window of the program shows when it has none of its own.
void SetSystemIcon(std::string_view icon);
std::string SystemIcon();

class ProcedureWindow;

// Something that takes part in a window's events after the window itself.
class WindowComponent {
 public:
  virtual ~WindowComponent() = default;
  virtual int TakeEvent(ProcedureWindow& window) = 0;
  // The window wrote its record for an insert or a change.
  virtual void RecordSaved(ProcedureWindow& window) { (void)window; }
};

class ProcedureWindow {
 public:
  // `procedure`: the procedure's name, under which its position is kept.
  explicit ProcedureWindow(std::string procedure);
  virtual ~ProcedureWindow();
  ProcedureWindow(const ProcedureWindow&) = delete;
  ProcedureWindow& operator=(const ProcedureWindow&) = delete;

  // ---- the ordered operations
  // kBenign when the window is to run its event loop.
  virtual int Setup();
  // Accepts events until the window closes or a handler returns kFatal.
  virtual void EventLoop();
  // Closes the window when it is still open.
  virtual int Teardown();
  // Setup, EventLoop (when Setup gave kBenign), Teardown; the response is
  // returned and left in ThreadResponse.
  virtual int RunWindow();
  virtual int DispatchEvent();
  virtual int OnWindowEvent();
  // OK completes the request (OnCompleted); Cancel sets response 2 and
  // closes the window.
  virtual int OnAccepted();
  virtual int OnRejected();
  virtual int OnSelected();
  virtual int OnNewSelection();
  // Every field event, after the handler of its kind.
  virtual int OnFieldEvent();
  // Shows the use variables of every control again.
  virtual void Refresh();
  // A new record was prepared for an insert.
  virtual int OnRecordPrimed();
  // Takes the controls' values and writes the record for the request
  // (insert or change); on success response 1 and the window closes.
  virtual int OnCompleted();

  // ---- helpers of the set-up and tear-down
  // Builds the window (loaded, not open).
  void Load(const ui::WindowDesc& desc);
  // Opens it on the calling thread; a window without an icon takes the
  // program's icon.
  void Open();
  // The caption of RecordCaption for the request, when there is one.
  void SetRecordCaption();
  // The position saved under the procedure name; false when none.
  bool RestorePosition(const IniMgr& ini);
  void SavePosition(IniMgr& ini);

  void AddComponent(WindowComponent* component);
  void RemoveComponent(WindowComponent* component);

  const std::string& Procedure() const { return procedure_; }
  ui::Window& Win() const { return *window_; }
  const std::shared_ptr<ui::Window>& WindowPtr() const { return window_; }
  bool Loaded() const { return window_ != nullptr; }

  // ---- state the derived windows set in their Setup
  int Request = 0;             // the record window's request (0: none)
  int Response = response::Cancelled;
  int OkControl = 0;           // completes the request
  int CancelControl = 0;       // closes with response 2
  FileManager* Primary = nullptr;           // the file to update
  RelationManager* PrimaryRelation = nullptr;  // deletes and changes cascade through it

 protected:
  // Takes ThreadRequest as the window's request and clears ThreadRequest
  // and ThreadResponse.
  void TakeRequest();
  // Prepares the record for the request: an insert calls OnRecordPrimed; a
  // delete asks "Are you sure you want to delete the highlighted record?"
  // and deletes the record with its related records, and returns kNotify
  // (the window does not open); everything else returns kBenign.
  int PrepareRequest();

 private:
  std::string procedure_;
  std::shared_ptr<ui::Window> window_;
  std::vector<WindowComponent*> components_;
};

}  // namespace cl
