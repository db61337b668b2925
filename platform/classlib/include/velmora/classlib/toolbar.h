#pragma once
// ToolbarRouter: hands the buttons of a window's toolbar to the client
// that owns the control with the focus (a tree list, a browse list, a
// record form). A client maps a button to its own controls; by default
// insert, change, delete, select, locate and help post the accepted event
// to the client's matching control.
#include <utility>
#include <vector>

#include "velmora/classlib/window.h"

namespace cl {

// Toolbar button numbers. Windows store them as control numbers, so the
// values stay fixed.
namespace toolbar {
inline constexpr int Insert = 3001;
inline constexpr int Change = 3002;
inline constexpr int Delete = 3003;
inline constexpr int Select = 3004;
inline constexpr int NextParent = 3005;
inline constexpr int PreviousParent = 3006;
inline constexpr int NextSame = 3007;
inline constexpr int PreviousSame = 3008;
inline constexpr int NextRow = 3009;
inline constexpr int PreviousRow = 3010;
inline constexpr int Locate = 3011;
inline constexpr int Help = 3012;
inline constexpr int First = Insert;
inline constexpr int Last = Help;
}  // namespace toolbar

class ToolbarClient {
 public:
  virtual ~ToolbarClient() = default;
  // The controls the client's buttons stand for (0: none).
  int CONTROL = 0;
  int HELPBUTTON = 0;
  int INSERTBUTTON = 0;
  int CHANGEBUTTON = 0;
  int DELETEBUTTON = 0;
  int SELECTBUTTON = 0;
  int LOCATEBUTTON = 0;
  // An accepted toolbar button while this client is current.
  virtual void OnToolbarButton(ui::Window& window, int button);
  // The default mapping: the accepted event to the control the button
  // stands for, when it is set and can be used; false when there is none.
  bool DefaultMapping(ui::Window& window, int button) const;
};

class ToolbarRouter : public WindowComponent {
 public:
  // Registers the router with the window.
  void Attach(ProcedureWindow& window);
  // A client for `control`; the first one added becomes current.
  void AddTarget(ToolbarClient* client, int control);
  void RemoveTarget(ToolbarClient* client);
  // The client of `control` becomes current (nothing when it has none).
  void SetTarget(int control);
  ToolbarClient* Current() const { return current_; }

  // Accepted toolbar buttons go to the current client; a control that
  // gets the focus makes its client current.
  int TakeEvent(ProcedureWindow& window) override;

 private:
  std::vector<std::pair<ToolbarClient*, int>> targets_;
  ToolbarClient* current_ = nullptr;
};

}  // namespace cl
