#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "velmora/runtime/threads.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

std::shared_ptr<Window> Make(const std::string& caption, WindowKind kind = WindowKind::Window) {
  WindowDesc d;
  d.caption = caption;
  d.kind = kind;
  ControlDesc ok;
  ok.type = ControlType::Button;
  ok.use = "?OK";
  d.controls = {ok};
  return Window::Create(d);
}

TEST(UiEventLoop, OpenedFirstThenPostedEventsInOrderUntilClosed) {
  auto w = Make("Loop");
  w->Open();
  w->Post(ev::Accepted, 1);
  w->Post(ev::User + 200, 0, key::Enter);
  std::vector<std::pair<int, int>> seen;
  int rounds = 0;
  while (w->Accept()) {
    seen.emplace_back(w->EventNo(), w->Field());
    if (w->EventNo() == ev::User + 200) {
      EXPECT_EQ(w->Keycode(), key::Enter);
      w->Post(ev::CloseWindow);
    }
    ASSERT_LT(++rounds, 10);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{
                      {ev::OpenWindow, 0}, {ev::Accepted, 1}, {ev::User + 200, 0}, {ev::CloseWindow, 0}}));
  EXPECT_FALSE(w->IsOpen());
  EXPECT_FALSE(w->Accept());
  EXPECT_EQ(TopWindow(), nullptr);
}

TEST(UiEventLoop, CancelledCloseKeepsTheWindowOpen) {
  auto w = Make("Ask");
  w->Open();
  w->InputClose();
  w->InputClose();
  int closes = 0;
  while (w->Accept()) {
    if (w->EventNo() == ev::CloseWindow && ++closes == 1) w->CancelClose();
  }
  EXPECT_EQ(closes, 2);
  EXPECT_FALSE(w->IsOpen());
}

TEST(UiEventLoop, PostingToAnotherThreadsWindowWakesItsLoop) {
  std::atomic<int> thread{0};
  std::vector<int> events;
  int started = rt::Start(
      [&](std::vector<std::string>) {
        auto w = Make("Frame", WindowKind::Frame);
        w->Open();
        thread = CurrentThread();
        while (w->Accept()) {
          events.push_back(w->EventNo());
          if (w->EventNo() == 1224) w->Post(ev::CloseWindow);
        }
      },
      25000);
  ASSERT_TRUE(WaitUntil([&] { return thread != 0; }));
  EXPECT_EQ(thread.load(), started);
  EXPECT_NE(thread.load(), CurrentThread());
  EXPECT_TRUE(Post(1224, 0, thread));
  rt::WaitForThreads();
  EXPECT_EQ(events, (std::vector<int>{ev::OpenWindow, 1224, ev::CloseWindow}));
  EXPECT_FALSE(Post(1224, 0, thread));  // no window left on that thread
}

TEST(UiEventLoop, FocusReturnsAfterANestedWindowCloses) {
  auto outer = Make("Forms");
  outer->Open();
  while (outer->AcceptPending()) {}
  auto inner = Make("Form Control Properties");
  inner->Open();
  EXPECT_EQ(TopWindow(), inner);
  EXPECT_TRUE(Post(ev::Accepted, 1));  // the calling thread's top window
  ASSERT_TRUE(inner->AcceptPending());
  EXPECT_EQ(inner->EventNo(), ev::OpenWindow);
  ASSERT_TRUE(inner->AcceptPending());
  EXPECT_EQ(inner->EventNo(), ev::Accepted);
  EXPECT_EQ(outer->PendingEvents(), 0u);
  inner->Close();
  EXPECT_EQ(TopWindow(), outer);
  ASSERT_TRUE(outer->AcceptPending());
  EXPECT_EQ(outer->EventNo(), ev::GainFocus);
  outer->Close();
}

TEST(UiOwners, AWindowWaitingUnderALaterOneTakesNoInputUntilItCloses) {
  auto editor = Make("Form Editor", WindowKind::MdiChild);
  editor->Open();
  while (editor->AcceptPending()) {}
  auto properties = Make("Form Control Properties");
  properties->Open();
  EXPECT_EQ(properties->Owner(), editor);
  EXPECT_TRUE(properties->TakesInput());
  EXPECT_FALSE(editor->TakesInput());
  // a double click queued on the editor would open a second dialog later
  EXPECT_FALSE(editor->InputAccept(1));
  EXPECT_FALSE(editor->InputKey(1, key::MouseLeft2));
  EXPECT_FALSE(editor->InputFocus(1));
  EXPECT_FALSE(editor->InputActivate());
  editor->InputClose();
  EXPECT_EQ(editor->PendingEvents(), 0u);
  properties->Close();
  EXPECT_TRUE(editor->TakesInput());
  EXPECT_TRUE(editor->InputAccept(1));
  editor->Close();
}

TEST(UiOwners, AWindowOpenedOnAThreadWithoutWindowsBelongsToTheFrame) {
  auto frame = Make("Velmora", WindowKind::Frame);
  frame->Open();
  EXPECT_EQ(frame->Owner(), nullptr);
  std::shared_ptr<Window> owner;
  rt::Start(
      [&](std::vector<std::string>) {
        auto w = Make("Print");
        w->Open();
        owner = w->Owner();
        w->Close();
      },
      25000);
  rt::WaitForThreads();
  EXPECT_EQ(owner, frame);
  frame->Close();
}

TEST(UiOwners, ActivatingAnotherWindowGivesItTheFocusEventOnce) {
  std::atomic<int> gained{0};
  std::atomic<long> handle{0};
  rt::Start(
      [&](std::vector<std::string>) {
        auto w = Make("Filled Documents", WindowKind::MdiChild);
        w->Open();
        handle = w->GetLong(0, Prop::Handle);
        while (w->Accept())
          if (w->EventNo() == ev::GainFocus && ++gained == 2) w->Post(ev::CloseWindow);
      },
      25000);
  ASSERT_TRUE(WaitUntil([&] { return handle != 0; }));
  auto documents = WindowFromHandle(handle);
  auto forms = Make("Forms", WindowKind::MdiChild);
  forms->Open();
  while (forms->AcceptPending()) {}
  EXPECT_EQ(ActiveWindow(), forms);  // it opened last
  EXPECT_TRUE(documents->InputActivate());
  EXPECT_TRUE(documents->InputActivate());  // active already: no second event
  ASSERT_TRUE(WaitUntil([&] { return gained == 1; }));
  EXPECT_TRUE(forms->InputActivate());
  ASSERT_TRUE(forms->AcceptPending());
  EXPECT_EQ(forms->EventNo(), ev::GainFocus);
  EXPECT_TRUE(documents->InputActivate());
  documents.reset();
  rt::WaitForThreads();
  EXPECT_EQ(gained.load(), 2);
  forms->Close();
}

TEST(UiEventLoop, TimerEventsArriveWhileWaiting) {
  auto w = Make("About Velmora");
  w->Set(0, Prop::Timer, 1);  // every hundredth of a second
  w->Open();
  int timers = 0;
  while (w->Accept()) {
    if (w->EventNo() == ev::Timer && ++timers == 3) w->Post(ev::CloseWindow);
  }
  EXPECT_EQ(timers, 3);
}

TEST(UiEventLoop, ClosingTheFrameClosesItsChildrenOnTheirThreads) {
  auto frame = Make("Velmora", WindowKind::Frame);
  frame->Open();
  EXPECT_EQ(Frame(), frame);
  std::atomic<bool> opened{false}, ended{false};
  rt::Start(
      [&](std::vector<std::string>) {
        auto w = Make("Forms", WindowKind::MdiChild);
        w->Open();
        opened = true;
        while (w->Accept()) {}
        ended = true;
      },
      25000);
  ASSERT_TRUE(WaitUntil([&] { return opened.load(); }));
  frame->Close();
  rt::WaitForThreads();
  EXPECT_TRUE(ended);
  EXPECT_EQ(Frame(), nullptr);
}

TEST(UiClientProc, MouseMessagesReachTheHookChainWithSignedCoordinates) {
  auto w = Make("Form Editor");
  w->Open();
  using Seen = std::tuple<unsigned, int, int>;
  std::vector<Seen> first, second;
  ClientProc none = w->SetClientProc([&](Window&, unsigned m, uintptr_t, intptr_t lp) -> intptr_t {
    first.emplace_back(m, MouseLParamX(lp), MouseLParamY(lp));
    return 7;
  });
  EXPECT_FALSE(none);
  // a later hook keeps the one it replaced and passes every message on
  ClientProc kept = w->CurrentClientProc();
  w->SetClientProc([&, kept](Window& win, unsigned m, uintptr_t wp, intptr_t lp) -> intptr_t {
    second.emplace_back(m, MouseLParamX(lp), MouseLParamY(lp));
    return kept(win, m, wp, lp);
  });
  EXPECT_EQ(w->InputMouse(msg::MouseMove, -5, 40), 7);
  EXPECT_EQ(w->InputMouse(msg::RButtonDown, 300, -2), 7);
  EXPECT_EQ(second, (std::vector<Seen>{{msg::MouseMove, -5, 40}, {msg::RButtonDown, 300, -2}}));
  EXPECT_EQ(first, second);
  EXPECT_EQ(MakeMouseLParam(-1, -1), 0xFFFFFFFF);
  w->Close();
}

TEST(UiClientProc, PostsFromTheHookGoToTheWindowsThread) {
  std::atomic<int> thread{0};
  std::shared_ptr<Window> editor;
  std::vector<std::pair<int, int>> got;
  rt::Start(
      [&](std::vector<std::string>) {
        auto w = Make("Form Editor");
        w->SetClientProc([](Window&, unsigned m, uintptr_t, intptr_t) -> intptr_t {
          // "the current thread" inside the hook is the window's thread
          if (m == msg::MouseMove) Post(1408);
          if (m == msg::LButtonDown) Post(1409);
          return 0;
        });
        w->Open();
        editor = w;
        thread = CurrentThread();
        while (w->Accept()) {
          got.emplace_back(w->EventNo(), w->MouseX());
          if (w->EventNo() == 1409) w->Post(ev::CloseWindow);
        }
      },
      25000);
  ASSERT_TRUE(WaitUntil([&] { return thread != 0; }));
  editor->InputMouse(msg::MouseMove, 12, 30);
  editor->InputMouse(msg::LButtonDown, 14, 30);
  rt::WaitForThreads();
  editor.reset();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[1], std::make_pair(1408, 12));
  EXPECT_EQ(got[2].first, 1409);
}

TEST(UiClientProc, CaptureSendsTheMouseToTheCapturingWindow) {
  auto editor = Make("Form Editor");
  auto box = Make("MorphBox");
  editor->Open();
  box->Open();
  int editorSeen = 0, boxSeen = 0;
  editor->SetClientProc([&](Window&, unsigned, uintptr_t, intptr_t) -> intptr_t { return ++editorSeen; });
  box->SetClientProc([&](Window&, unsigned, uintptr_t, intptr_t) -> intptr_t { return ++boxSeen; });
  box->CaptureMouse();
  EXPECT_EQ(Window::MouseCapture(), box.get());
  editor->InputMouse(msg::LButtonDown, 1, 1);
  EXPECT_EQ(boxSeen, 1);
  EXPECT_EQ(editorSeen, 0);
  box->ReleaseMouse();
  // the editor waits under the box: its mouse messages go nowhere
  editor->InputMouse(msg::LButtonUp, 1, 1);
  EXPECT_EQ(editorSeen, 0);
  box->CaptureMouse();
  box->Close();  // closing releases the capture
  EXPECT_EQ(Window::MouseCapture(), nullptr);
  editor->InputMouse(msg::LButtonUp, 1, 1);
  EXPECT_EQ(editorSeen, 1);
  editor->Close();
}

TEST(UiClientProc, RegionsReportMouseInMoveAndOut) {
  auto w = Make("About Velmora");
  w->Set(0, Prop::Pixels, 1);
  int region = w->CreateControl(ControlType::Region, 2804);
  w->SetPosition(region, 10, 10, 20, 10);
  w->Set(region, Prop::Immediate, 1);
  w->Unhide(region);
  w->Open();
  w->AcceptPending();
  w->InputMouse(msg::MouseMove, 5, 5);
  w->InputMouse(msg::MouseMove, 15, 12);
  w->InputMouse(msg::MouseMove, 16, 12);
  w->InputMouse(msg::MouseMove, 40, 12);
  std::vector<int> events;
  while (w->AcceptPending()) {
    EXPECT_EQ(w->Field(), region);
    events.push_back(w->EventNo());
  }
  EXPECT_EQ(events, (std::vector<int>{ev::MouseIn, ev::MouseMove, ev::MouseMove, ev::MouseOut}));
  w->Close();
}

TEST(UiPainting, LockAndInvalidate) {
  auto w = Make("Form Editor");
  w->LockPaint();
  w->LockPaint();
  w->UnlockPaint();
  EXPECT_TRUE(w->PaintLocked());
  w->UnlockPaint();
  w->UnlockPaint();  // one unlock too many does no harm
  EXPECT_FALSE(w->PaintLocked());
  w->Invalidate();
  EXPECT_EQ(w->Invalidations(), 1);
  SetCursor(cursor::Cross);
  EXPECT_EQ(CurrentCursor(), cursor::Cross);
  SetCursor("");
  EXPECT_EQ(CurrentCursor(), cursor::Arrow);
}

}  // namespace
}  // namespace ui
