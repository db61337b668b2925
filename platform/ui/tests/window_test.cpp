#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <jpeglib.h>

#include "fixtures.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/image.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/queue_rows.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

using test::C;
using test::TextRows;

std::vector<uint8_t> MakeJpeg(int width, int height) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3, 200);
  while (info.next_scanline < info.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&info);
  std::free(out);
  return bytes;
}

WindowDesc FrameDesc() {
  WindowDesc d;
  d.caption = "Velmora";
  d.kind = WindowKind::Frame;
  ControlDesc file = C(ControlType::Menu, "?FILEMENU", "&File");
  ControlDesc setup = C(ControlType::Item, "?PRINTSETUP", "P&rint Setup...");
  setup.std = StdAction::PrintSetup;
  ControlDesc exit = C(ControlType::Item, "?EXIT", "E&xit");
  exit.std = StdAction::Close;
  ControlDesc rule;
  rule.separator = true;
  rule.hidden = true;
  ControlDesc hidden = C(ControlType::Item, "?BROWSEFORMSTREE", "&Prepare Forms", -12);
  hidden.hidden = true;
  file.children = {setup, C(ControlType::Item, "?FILEAPPLICATIONSETUP", "&Application Setup"), exit, rule, hidden};
  ControlDesc window = C(ControlType::Menu, "", "&Window", -13);
  ControlDesc tile = C(ControlType::Item, "?TILE", "T&ile");
  tile.std = StdAction::Tile;
  window.children = {tile};
  d.menus = {file, window};
  ControlDesc exitButton = C(ControlType::Button, "?EXITBUTTON", "Exit", -22);
  d.toolbar = {exitButton, C(ControlType::Button, "?SETUP")};
  return d;
}

TEST(UiWindowDesc, FrameNumbersMenusAndToolbarBelowZeroInDeclarationOrder) {
  auto w = Window::Create(FrameDesc());
  EXPECT_EQ(w->Number("?FILEMENU"), -1);
  EXPECT_EQ(w->Number("?printsetup"), -2);
  EXPECT_EQ(w->Number("?FILEAPPLICATIONSETUP"), -3);
  EXPECT_EQ(w->Number("?EXIT"), -4);
  EXPECT_EQ(w->Number("?BROWSEFORMSTREE"), -12);  // given numbers are kept
  EXPECT_EQ(w->Number("?TILE"), -14);             // and counting goes on from them
  EXPECT_EQ(w->Number("?EXITBUTTON"), -22);
  EXPECT_EQ(w->Number("?SETUP"), -23);
  EXPECT_EQ(w->Number("?NOSUCH"), 0);
  // the rule has no number but keeps its place (and its hidden state)
  auto items = w->Children(-1);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[3].number, 0);
  EXPECT_TRUE(items[3].hidden);
  EXPECT_EQ(w->Children(Window::kToolbar).size(), 2u);
  EXPECT_EQ(w->GetLong(-12, Prop::Hide), 1);
}

TEST(UiWindowDesc, WindowNumbersEverythingFromOneMenusFirst) {
  WindowDesc d;
  d.caption = "Form Editor";
  ControlDesc file = C(ControlType::Menu, "?FILE", "&File");
  file.children = {C(ControlType::Item, "?FILEPRINT", "&Print...")};
  d.menus = {file};
  d.toolbar = {C(ControlType::Button, "?LOOKUPFILE", "...")};
  ControlDesc sheet = C(ControlType::Sheet, "?CURRENTTAB");
  ControlDesc tab = C(ControlType::Tab, "", "&1) General");
  tab.children = {C(ControlType::Prompt, "?PROMPT", "ID:"), C(ControlType::Entry, "?FOR:ID")};
  sheet.children = {tab};
  d.controls = {sheet, C(ControlType::Button, "?OK", "&OK")};
  auto w = Window::Create(d);
  EXPECT_EQ(w->Number("?FILE"), 1);
  EXPECT_EQ(w->Number("?FILEPRINT"), 2);
  EXPECT_EQ(w->Number("?LOOKUPFILE"), 3);
  EXPECT_EQ(w->Number("?CURRENTTAB"), 4);
  EXPECT_EQ(w->Number("?FOR:ID"), 7);
  EXPECT_EQ(w->Number("?OK"), 8);
  EXPECT_EQ(w->GetLong(7, Prop::Parent), 5);
  EXPECT_EQ(w->GetLong(0, Prop::LowestControl), 1);
  EXPECT_EQ(w->GetLong(0, Prop::HighestControl), 8);
  EXPECT_EQ(w->Get(6, Prop::ScreenText), "ID:");
  EXPECT_EQ(w->GetLong(4, Prop::Selected), 1);
}

TEST(UiSheets, OnlyTheSelectedTabShowsItsControls) {
  WindowDesc d;
  ControlDesc sheet = C(ControlType::Sheet, "?CURRENTTAB");
  ControlDesc general = C(ControlType::Tab, "", "&1) General");
  general.children = {C(ControlType::Entry, "?FOR:ID")};
  ControlDesc info = C(ControlType::Tab, "", "&2) PDF Info");
  info.children = {C(ControlType::Entry, "?FOR:TITLE")};
  ControlDesc data = C(ControlType::Tab, "", "3) Data Info");
  data.hidden = true;
  sheet.children = {general, info, data};
  d.controls = {sheet};
  auto w = Window::Create(d);
  w->Open();
  int id = w->Number("?FOR:ID"), title = w->Number("?FOR:TITLE");
  EXPECT_TRUE(w->IsShown(id));
  EXPECT_FALSE(w->IsShown(title));
  EXPECT_FALSE(w->InputType(title, "x"));
  EXPECT_FALSE(w->InputTab(1, 3));  // a hidden tab cannot be chosen
  EXPECT_TRUE(w->InputTab(1, 2));
  EXPECT_EQ(w->GetLong(1, Prop::Selected), 2);
  EXPECT_TRUE(w->IsShown(title));
  EXPECT_FALSE(w->IsShown(id));
  EXPECT_TRUE(w->InputType(title, "x"));
  w->Close();
}

TEST(UiWindowDesc, FurtherPropertiesAndAlertKeysComeWithTheDescription) {
  WindowDesc d;
  ControlDesc spin = C(ControlType::Spin, "?ITP:ZOOMVALUE");
  spin.props = {{Prop::RangeLow, "25"}, {Prop::RangeHigh, "400"}, {Prop::Step, "20"}};
  ControlDesc tree = C(ControlType::List, "?RELTREE");
  tree.props = {{Prop::Format, "316LIT@s79@28RIT@n-7@"}, {Prop::FontName, "Tahoma"}};
  tree.alerts = {key::Ctrl | key::Right, key::Ctrl | key::Left, key::MouseLeft2};
  d.controls = {spin, tree};
  auto w = Window::Create(d);
  EXPECT_EQ(w->GetLong(1, Prop::RangeHigh), 400);
  EXPECT_EQ(w->GetLong(1, Prop::Step), 20);
  ASSERT_NE(w->Format(2), nullptr);
  EXPECT_EQ(w->Format(2)->columns.size(), 2u);
  EXPECT_EQ(w->Get(2, Prop::FontName), "Tahoma");
  EXPECT_TRUE(w->IsAlerted(2, key::Ctrl | key::Right));
  EXPECT_TRUE(w->IsAlerted(2, key::MouseLeft2));
  EXPECT_FALSE(w->IsAlerted(1, key::MouseLeft2));
}

TEST(UiProperties, DialogUnitsAndPixels) {
  WindowDesc d;
  d.width = 429;
  d.height = 257;
  ControlDesc tree = C(ControlType::List, "?RELTREE");
  tree.x = 6, tree.y = 6, tree.width = 207, tree.height = 222;
  d.controls = {tree};
  auto w = Window::Create(d);
  // MS Sans Serif 8 at 96 dpi: 1.5 pixels across and 1.625 down per unit
  EXPECT_EQ(w->PixelPosition(1).width, 311);
  EXPECT_EQ(w->PixelPosition(1).height, 361);
  EXPECT_EQ(w->GetLong(1, Prop::Width), 207);
  w->Set(0, Prop::Pixels, 1);
  EXPECT_EQ(w->GetLong(1, Prop::X), 9);
  EXPECT_EQ(w->GetLong(0, Prop::Width), 644);
  // in pixels, negative sizes are kept as given (a band dragged up or left)
  w->SetPosition(1, 300, 40, -80, -12);
  EXPECT_EQ(w->Position(1).width, -80);
  EXPECT_EQ(w->Position(1).height, -12);
  w->Set(0, Prop::Pixels, 0);
  w->Set(1, Prop::Width, 100);
  w->Set(0, Prop::Pixels, 1);
  EXPECT_EQ(w->GetLong(1, Prop::Width), 150);
  EXPECT_EQ(ScreenDpiX(), 96);
  EXPECT_EQ(ScreenDpiY(), 96);
}

TEST(UiProperties, CommonPropertiesAndReadOnlyOnes) {
  WindowDesc d;
  ControlDesc e = C(ControlType::Entry, "?FOR:FORMNAME");
  e.picture = "@s79";
  d.controls = {e, C(ControlType::String, "?STRING1", "www.example.org")};
  auto w = Window::Create(d);
  EXPECT_EQ(w->GetLong(1, Prop::Type), 8);
  EXPECT_EQ(w->GetLong(1, Prop::MaxLength), 79);
  EXPECT_EQ(w->Get(1, Prop::FontName), "MS Sans Serif");  // the window's font
  EXPECT_EQ(w->GetLong(1, Prop::Color), -1);
  w->Set(1, Prop::Type, 17);  // read only
  EXPECT_EQ(w->GetLong(1, Prop::Type), 8);
  w->Set(2, Prop::Text, "Email us: x@example.org");
  EXPECT_EQ(w->Get(2, Prop::ScreenText), "Email us: x@example.org");
  w->Set(2, Prop::FontStyle, style::Regular | style::Underline);
  EXPECT_EQ(w->GetLong(2, Prop::FontStyle), 0x2190);
  w->Set(0, Prop::StatusText, "Zoom: 100%", 2);
  EXPECT_EQ(w->Get(0, Prop::StatusText, 2), "Zoom: 100%");
  w->Set(0, Prop::XOrigin, 25);
  EXPECT_EQ(w->GetLong(0, Prop::XOrigin), 25);
  EXPECT_EQ(w->Get(99, Prop::Text), "");  // unknown control
  w->Set(99, Prop::Text, "ignored");
  EXPECT_FALSE(w->Exists(99));
}

TEST(UiUseVariables, DisplayAndUpdateThroughTheBoundBuffer) {
  WindowDesc d;
  ControlDesc name = C(ControlType::Entry, "?NAME");
  name.picture = "@s5";
  ControlDesc option = C(ControlType::Option, "?ALIGN");
  option.children = {C(ControlType::Radio, "", "&Left"), C(ControlType::Radio, "", "&Center")};
  d.controls = {name, C(ControlType::Check, "?ISPDF", "Based in the PDF file"), option};
  auto w = Window::Create(d);
  w->Open();
  rt::String<8> text("abcdefg");
  rt::Byte flag = 1;
  rt::CString<10> align("Center");
  w->Bind(1, UseVar::Of(text));
  w->Bind(2, UseVar::Of(flag));
  w->Bind(3, UseVar::Of(align));
  w->Display();
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "abcde");
  EXPECT_EQ(w->GetLong(2, Prop::Checked), 1);
  EXPECT_EQ(w->GetLong(5, Prop::Checked), 1);
  EXPECT_EQ(w->GetLong(4, Prop::Checked), 0);

  // typing is clipped to the picture; accepting writes the variable
  EXPECT_TRUE(w->InputType(1, "Hello world"));
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "Hello");
  EXPECT_EQ(text.Value(), "abcdefg ");
  EXPECT_TRUE(w->InputAccept(1));
  EXPECT_EQ(text.Value(), "Hello   ");
  // a click toggles the check and writes its false value
  EXPECT_TRUE(w->InputAccept(2));
  EXPECT_EQ(flag, 0);
  // a radio sets its option's variable
  EXPECT_TRUE(w->InputAccept(4));
  EXPECT_EQ(align.Value(), "Left");
  EXPECT_EQ(w->GetLong(5, Prop::Checked), 0);
  // true and false values of the check are its own
  w->Set(2, Prop::TrueValue, "T");
  w->Set(2, Prop::FalseValue, "F");
  rt::String<1> tf("F");
  w->Bind(2, UseVar::Of(tf));
  w->InputAccept(2);
  EXPECT_EQ(tf.Value(), "T");

  // a file name shows as the desktop writes it and goes back in the runtime's form
  rt::String<30> file("\\tmp\\out\\r\xE9sum\xE9.pdf");
  w->Bind(1, UseVar::Of(file));
  w->Set(1, Prop::Picture, "@s30");
  w->Set(1, Prop::ShowsPath, 1);
  w->Display(1);
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "/tmp/out/r\xE9sum\xE9.pdf");
  EXPECT_TRUE(w->InputType(1, "/tmp/other.pdf"));
  EXPECT_TRUE(w->InputAccept(1));
  EXPECT_EQ(rt::Clip(file.View()), "\\tmp\\other.pdf");

  // read-only and disabled controls take no input
  w->Set(1, Prop::ReadOnly, 1);
  EXPECT_FALSE(w->InputType(1, "x"));
  w->Disable(2);
  EXPECT_FALSE(w->InputAccept(2));
  w->Close();
}

TEST(UiRunTimeControls, CreatedHiddenWithGivenOrNextFreeNumber) {
  WindowDesc d;
  d.controls = {C(ControlType::Image, "?FORM"), C(ControlType::Button, "?OK")};
  auto w = Window::Create(d);
  int text = w->CreateControl(ControlType::Text);
  EXPECT_EQ(text, 3);
  EXPECT_EQ(w->GetLong(text, Prop::Hide), 1);
  EXPECT_EQ(w->CreateControl(ControlType::Region, 10001), 10001);
  EXPECT_EQ(w->CreateControl(ControlType::Region, 10001), 0);  // taken
  EXPECT_EQ(w->CreateControl(ControlType::Line), 10002);
  EXPECT_EQ(w->CreateControl(ControlType::Entry, 0, 555), 0);  // no such parent
  // destroying a container destroys what it holds
  int group = w->CreateControl(ControlType::Group, 50);
  int inner = w->CreateControl(ControlType::Entry, 51, group);
  EXPECT_EQ(w->GetLong(inner, Prop::Parent), 50);
  w->Destroy(group);
  EXPECT_FALSE(w->Exists(50));
  EXPECT_FALSE(w->Exists(51));
  w->Destroy(777);  // unknown: nothing happens
  w->Destroy(10001);
  EXPECT_FALSE(w->Exists(10001));
  EXPECT_EQ(w->GetLong(0, Prop::HighestControl), 10002);
}

TEST(UiLists, CellsIconsAndLevelsThroughTheFormat) {
  WindowDesc d;
  ControlDesc tree = C(ControlType::List, "?RELTREE");
  tree.format = "316LIT@s5@28RIT@n-7@";
  d.controls = {tree};
  auto w = Window::Create(d);
  TextRows rows;
  rows.rows = {{"Forms", "1", "0", "0", ""}, {"A long form name", "3", "-1", "42", "pos"}, {"Page 1", "2", "2", "0", "p"}};
  w->SetRows(1, &rows);
  EXPECT_EQ(w->GetLong(1, Prop::Items), 3);
  EXPECT_EQ(w->CellText(1, 2, 1), "A lon");
  EXPECT_EQ(w->CellIcon(1, 2, 1), 3);
  EXPECT_EQ(w->RowLevel(1, 2), -1);
  EXPECT_EQ(w->CellText(1, 2, 2), "     42");  // right-aligned by its picture
  EXPECT_EQ(w->CellText(1, 9, 1), "");
  EXPECT_EQ(w->CellText(1, 1, 3), "");
  // what a backend shows is taken at SetRows and at Display
  ASSERT_EQ(w->ShownRows(1).size(), 3u);
  EXPECT_EQ(w->ShownRows(1)[1].cells, (std::vector<std::string>{"A lon", "     42"}));
  EXPECT_EQ(w->ShownRows(1)[1].icons[0], 3);
  EXPECT_EQ(w->ShownRows(1)[1].level, -1);
  rows.rows.pop_back();
  EXPECT_EQ(w->ShownRows(1).size(), 3u);
  w->Display();
  EXPECT_EQ(w->ShownRows(1).size(), 2u);
  w->Set(1, Prop::Format, "80L(2)|M~Control Type~@s20@");
  ASSERT_NE(w->Format(1), nullptr);
  EXPECT_EQ(w->Format(1)->columns[0].heading, "Control Type");
  w->Set(1, Prop::Format, "80L(2");
  EXPECT_EQ(w->Format(1), nullptr);
}

TEST(UiLists, RowClicksAndTreeBoxesPostTheirEvents) {
  WindowDesc d;
  ControlDesc tree = C(ControlType::List, "?RELTREE");
  tree.format = "316LIT@s79@";
  d.controls = {tree};
  auto w = Window::Create(d);
  TextRows rows;
  rows.rows = {{"Forms", "1", "0"}, {"Form A", "3", "-1"}, {"Form B", "3", "1"}, {"Page 1", "2", "2"}, {"Form C", "3", "1"}};
  w->SetRows(1, &rows);
  w->Open();
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::OpenWindow);

  EXPECT_TRUE(w->InputSelectRow(1, 3, key::MouseRight, 1));
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::NewSelection);
  EXPECT_EQ(w->Keycode(), key::MouseRight);
  EXPECT_EQ(w->GetLong(1, Prop::Selected), 3);
  EXPECT_EQ(w->GetLong(1, Prop::MouseDownRow), 3);
  EXPECT_FALSE(w->InputSelectRow(1, 6));

  // a closed branch's box selects the row first, then expands it
  EXPECT_TRUE(w->InputTreeBox(1, 2));
  EXPECT_EQ(w->GetLong(1, Prop::Selected), 2);
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::NewSelection);
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::Expanded);
  EXPECT_EQ(w->Field(), 1);
  // an open branch contracts; a leaf has no box
  EXPECT_TRUE(w->InputTreeBox(1, 3));
  w->AcceptPending();
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::Contracted);
  EXPECT_FALSE(w->InputTreeBox(1, 5));
  EXPECT_FALSE(w->InputTreeBox(1, 4));
  EXPECT_FALSE(w->AcceptPending());
  w->Close();
}

TEST(UiLists, QueueRowsGiveOneFieldPerListedMember) {
  struct Row {
    rt::String<20> display;
    rt::Short icon = 0;
    rt::Long level = 0;
    rt::Real width = 0;
  };
  rt::Queue<Row> queue;
  queue->display = "Forms";
  queue->icon = 1;
  queue.Add();
  queue->display = "Page 2";
  queue->icon = 2;
  queue->level = -2;
  queue->width = 2.5;
  queue.Add();
  QueueRows<Row> rows(queue, &Row::display, &Row::icon, &Row::level, &Row::width);
  EXPECT_EQ(rows.Rows(), 2);
  EXPECT_EQ(rows.Field(2, 1), "Page 2              ");
  EXPECT_EQ(rows.Field(2, 3), "-2");
  EXPECT_EQ(rows.Field(2, 4), "2.5");
  EXPECT_EQ(rows.Field(3, 1), "");
  EXPECT_EQ(rows.Field(1, 5), "");

  WindowDesc d;
  ControlDesc tree = C(ControlType::List, "?RELTREE");
  tree.format = "316LIT@s79@";
  d.controls = {tree};
  auto w = Window::Create(d);
  w->SetRows(1, &rows);
  EXPECT_EQ(w->CellText(1, 2, 1), "Page 2");
  EXPECT_EQ(w->CellIcon(1, 2, 1), 2);
  EXPECT_EQ(w->RowLevel(1, 2), -2);
}

TEST(UiLists, DropListWithoutRowsOffersItsChoices) {
  WindowDesc d;
  ControlDesc type = C(ControlType::DropList, "?TYPE");
  type.from = "TO|CC|BCC";
  d.controls = {type};
  auto w = Window::Create(d);
  rt::CString<11> kind("TO");
  w->Bind(1, UseVar::Of(kind));
  w->Open();
  EXPECT_TRUE(w->InputSelectRow(1, 2, key::MouseLeft));
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "CC");
  EXPECT_TRUE(w->InputAccept(1));
  EXPECT_EQ(kind.Value(), "CC");
  EXPECT_FALSE(w->InputSelectRow(1, 4));
  w->Close();
}

TEST(UiSpin, ArrowsStepWithinTheRange) {
  WindowDesc d;
  ControlDesc spin = C(ControlType::Spin, "?ITP:ZOOMVALUE");
  d.controls = {spin, C(ControlType::Spin, "?FOR1:PAGENO")};
  auto w = Window::Create(d);
  rt::Short zoom = 390, page = 1;
  w->Bind(1, UseVar::Of(zoom));
  w->Bind(2, UseVar::Of(page));
  w->Set(1, Prop::RangeLow, 25);
  w->Set(1, Prop::RangeHigh, 400);
  w->Set(1, Prop::Step, 20);
  w->Open();
  w->Display();
  EXPECT_TRUE(w->InputSpin(1, +1));
  EXPECT_EQ(zoom, 400);
  EXPECT_TRUE(w->InputSpin(1, +1));
  EXPECT_EQ(zoom, 400);
  zoom = 30;
  w->Display(1);
  w->InputSpin(1, -1);
  EXPECT_EQ(zoom, 25);
  w->InputSpin(2, +1);  // no range, step 1
  EXPECT_EQ(page, 2);
  w->AcceptPending();
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::NewSelection);
  EXPECT_EQ(w->Field(), 1);
  w->Close();
}

TEST(UiProgress, BoundCounterSetsThePositionAtDisplay) {
  WindowDesc d;
  ControlDesc bar = C(ControlType::Progress, "?PROGRESS");
  bar.props = {{Prop::RangeHigh, "7"}};
  d.controls = {C(ControlType::String, "?STRING1"), bar};
  auto w = Window::Create(d);
  EXPECT_EQ(w->GetLong(2, Prop::Type), static_cast<long>(ControlType::Progress));
  EXPECT_EQ(w->GetLong(2, Prop::RangeHigh), 7);
  rt::Long counter = 0;
  w->Bind(2, UseVar::Of(counter));
  w->Open();
  counter = 3;
  w->Display(2);
  EXPECT_EQ(w->GetLong(2, Prop::Progress), 3);
  EXPECT_EQ(w->Get(2, Prop::ScreenText), "");  // the position is not text
  counter = 7;
  w->Display();
  EXPECT_EQ(w->GetLong(2, Prop::Progress), 7);
  w->Update(2);  // a progress bar takes no input back
  EXPECT_EQ(counter, 7);
  EXPECT_EQ(w->NextInOrder(1), 0);
  w->Close();
}

TEST(UiWindowHandles, HandleFindsTheWindowWhileItLives) {
  long handle;
  {
    auto w = Window::Create(WindowDesc{});
    handle = w->GetLong(0, Prop::Handle);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(WindowFromHandle(handle), w);
  }
  EXPECT_EQ(WindowFromHandle(handle), nullptr);
}

TEST(UiKeyboard, FollowsReordersAndTabWrapsAround) {
  WindowDesc d;
  d.controls = {C(ControlType::Prompt, "?P", "Page:"), C(ControlType::Entry, "?A"), C(ControlType::Entry, "?B"),
                C(ControlType::Entry, "?C")};
  auto w = Window::Create(d);
  w->Open();
  EXPECT_EQ(w->Focus(), 2);  // the first control that takes the focus
  // new order C, A, B: A follows C, B follows A
  w->Set(2, Prop::Follows, 4);
  w->Set(3, Prop::Follows, 2);
  EXPECT_EQ(w->NextInOrder(4), 2);
  EXPECT_EQ(w->NextInOrder(2), 3);
  EXPECT_EQ(w->NextInOrder(3), 4);  // the last goes back to the first
  EXPECT_EQ(w->NextInOrder(2, true), 4);
  w->Hide(3);
  EXPECT_EQ(w->NextInOrder(2), 4);
  // Tab moves the focus and the new control gets the selected event
  while (w->AcceptPending()) {}
  EXPECT_TRUE(w->InputKey(2, key::Tab));
  EXPECT_EQ(w->Focus(), 4);
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::Selected);
  EXPECT_EQ(w->Field(), 4);
  w->Close();
}

// Tab leaves a text control as it leaves every other; Enter breaks the
// line only in one that takes line breaks, else the field takes its text.
TEST(UiKeyboard, TextControlsTakeLineBreaksOnlyWhenMultiLine) {
  WindowDesc d;
  d.controls = {C(ControlType::Text, "?MULTI"), C(ControlType::Text, "?ONE"), C(ControlType::Entry, "?NEXT")};
  auto w = Window::Create(d);
  std::string multi, one;
  w->Bind(1, UseVar::Of(multi));
  w->Bind(2, UseVar::Of(one));
  w->Set(2, Prop::SingleLine, 1L);
  w->Open();
  while (w->AcceptPending()) {}
  ASSERT_TRUE(w->InputType(1, "first"));
  EXPECT_TRUE(w->InputKey(1, key::Enter));
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "first\n");
  EXPECT_TRUE(w->InputKey(1, key::Tab));
  EXPECT_EQ(w->Focus(), 2);
  EXPECT_EQ(w->Get(1, Prop::ScreenText), "first\n");
  EXPECT_TRUE(w->InputKey(2, key::Tab | key::Shift));
  EXPECT_EQ(w->Focus(), 1);
  while (w->AcceptPending()) {}
  // typed line breaks and tabs are blanks where none is taken
  ASSERT_TRUE(w->InputType(2, "a\tb\r\nc\nd"));
  EXPECT_EQ(w->Get(2, Prop::ScreenText), "a b c d");
  EXPECT_TRUE(w->InputKey(2, key::Enter));
  EXPECT_EQ(w->Get(2, Prop::ScreenText), "a b c d");
  EXPECT_EQ(one, "a b c d");  // Enter took the text, as in an entry
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::Accepted);
  EXPECT_EQ(w->Field(), 2);
  EXPECT_EQ(SingleLineText("x\r\ry\t"), "x  y ");
  w->Close();
}

TEST(UiKeyboard, AlertedKeysPostPreAlertAndAlert) {
  WindowDesc d;
  d.controls = {C(ControlType::Text, "?FIELD")};
  auto w = Window::Create(d);
  w->Open();
  w->AcceptPending();
  w->Alert(1, key::MouseRight);
  w->Alert(1, key::MouseLeft2);
  w->Alert(0, key::Esc);
  EXPECT_EQ(w->GetLong(1, Prop::Alert, 1), key::MouseRight);
  EXPECT_TRUE(w->InputKey(1, key::MouseRight));
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::PreAlertKey);
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::AlertKey);
  EXPECT_EQ(w->Keycode(), key::MouseRight);
  w->SetKeycode(0);
  EXPECT_EQ(w->Keycode(), 0);
  EXPECT_TRUE(w->InputKey(1, key::Esc));  // alerted on the window
  w->AcceptPending();
  w->AcceptPending();
  EXPECT_EQ(w->Keycode(), key::Esc);
  w->Unalert(1, key::MouseRight);
  EXPECT_FALSE(w->IsAlerted(1, key::MouseRight));
  EXPECT_TRUE(w->IsAlerted(1, key::MouseLeft2));
  EXPECT_FALSE(w->InputKey(1, key::MouseRight));
  w->Close();
}

TEST(UiMenus, StandardActionsAndHiddenItems) {
  Headless().Reset();
  auto w = Window::Create(FrameDesc());
  w->Open();
  w->AcceptPending();
  EXPECT_FALSE(w->InputAccept(-12));  // hidden items cannot be chosen
  EXPECT_FALSE(w->InputAccept(-1));   // a menu itself is not accepted
  EXPECT_TRUE(w->InputAccept(-3));
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::Accepted);
  EXPECT_EQ(w->Field(), -3);
  // standard items run their action and post no accepted event
  EXPECT_TRUE(w->InputAccept(-14));
  EXPECT_EQ(Headless().Arrangements(), std::vector<StdAction>{StdAction::Tile});
  EXPECT_TRUE(w->InputAccept(-2));
  ASSERT_EQ(Headless().AskedDialogs().size(), 1u);
  EXPECT_EQ(Headless().AskedDialogs()[0].kind, HeadlessBackend::Asked::Printer);
  EXPECT_FALSE(w->AcceptPending());
  EXPECT_TRUE(w->InputAccept(-4));  // Exit: the frame's close event
  ASSERT_TRUE(w->AcceptPending());
  EXPECT_EQ(w->EventNo(), ev::CloseWindow);
  EXPECT_FALSE(w->Accept());
  EXPECT_FALSE(w->IsOpen());
  Headless().Reset();
}

TEST(UiMenus, ClipboardItemsOfTheFrameActOnTheNewestChild) {
  WindowDesc fd;
  fd.kind = WindowKind::Frame;
  ControlDesc edit = C(ControlType::Menu, "?EDITMENU", "&Edit");
  ControlDesc cut = C(ControlType::Item, "?CUT", "Cu&t", -6);
  cut.std = StdAction::Cut;
  ControlDesc paste = C(ControlType::Item, "?PASTE", "&Paste", -8);
  paste.std = StdAction::Paste;
  edit.children = {cut, paste};
  fd.menus = {edit};
  auto frame = Window::Create(fd);
  WindowDesc cd;
  cd.kind = WindowKind::MdiChild;
  cd.controls = {C(ControlType::Entry, "?A"), C(ControlType::Entry, "?B")};
  auto child = Window::Create(cd);
  frame->Open();
  // the child runs on a thread of its own, as the frame's children do
  rt::Start(
      [&](std::vector<std::string>) {
        child->Open();
        while (child->Accept()) {}
      },
      25000);
  ASSERT_TRUE(WaitUntil([&] { return child->IsOpen(); }));
  child->InputType(1, "Invoice");
  EXPECT_TRUE(frame->InputAccept(-6));
  EXPECT_EQ(child->Get(1, Prop::ScreenText), "");
  EXPECT_EQ(Headless().ClipboardText(), "Invoice");
  child->InputFocus(2);
  child->InputType(2, "New ");
  EXPECT_TRUE(frame->InputAccept(-8));
  EXPECT_EQ(child->Get(2, Prop::ScreenText), "New Invoice");
  child->Set(2, Prop::ReadOnly, 1);
  frame->InputAccept(-8);
  EXPECT_EQ(child->Get(2, Prop::ScreenText), "New Invoice");
  frame->Close();  // asks the child to close
  rt::WaitForThreads();
}

TEST(UiImages, JpegBytesGiveTheNaturalSize) {
  WindowDesc d;
  ControlDesc image = C(ControlType::Image, "?IMAGE");
  image.width = 40, image.height = 40;
  d.controls = {image};
  auto w = Window::Create(d);
  w->Set(0, Prop::Pixels, 1);
  w->SetImage(1, MakeJpeg(60, 80));
  EXPECT_EQ(w->GetLong(1, Prop::ImageWidth), 60);
  EXPECT_EQ(w->GetLong(1, Prop::ImageHeight), 80);
  EXPECT_EQ(w->GetLong(1, Prop::Width), 60);  // 40 units
  w->Set(1, Prop::NoWidth, 1);
  w->Set(1, Prop::NoHeight, 1);
  EXPECT_EQ(w->GetLong(1, Prop::Width), 60);
  EXPECT_EQ(w->GetLong(1, Prop::Height), 80);
  auto picture = DecodeJpeg(w->Image(1));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->rgb.size(), 60u * 80u * 3u);

  // damaged or unknown bytes give no size and no crash
  std::vector<uint8_t> broken = MakeJpeg(10, 10);
  broken.resize(broken.size() / 3);
  EXPECT_FALSE(DecodeJpeg(broken));
  std::vector<uint8_t> header = MakeJpeg(10, 10);
  header.resize(20);
  w->SetImage(1, header);
  EXPECT_EQ(w->GetLong(1, Prop::ImageWidth), 0);
  w->SetImage(1, {'G', 'I', 'F', '8'});
  EXPECT_EQ(w->GetLong(1, Prop::ImageWidth), 0);
}

TEST(UiImages, PictureFilesAreFoundByNameInResourceFolders) {
  auto folder = std::filesystem::temp_directory_path() / "velmora-ui-resources";
  std::filesystem::create_directories(folder);
  auto bytes = MakeJpeg(12, 7);
  std::ofstream(folder / "Lblue069.JPG", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                  static_cast<std::streamsize>(bytes.size()));
  AddResourceFolder(folder.string());
  EXPECT_EQ(FindResource("~lblue069.jpg"), (folder / "Lblue069.JPG").string());
  EXPECT_EQ(FindResource("~C:\\pictures\\lblue069.jpg"), (folder / "Lblue069.JPG").string());
  EXPECT_EQ(FindResource("missing.ico"), "");
  WindowDesc d;
  d.controls = {C(ControlType::Image, "?FORM")};
  auto w = Window::Create(d);
  w->Set(1, Prop::Text, "lblue069.jpg");
  EXPECT_EQ(w->GetLong(1, Prop::ImageWidth), 12);
  EXPECT_EQ(w->Image(1).size(), bytes.size());
  w->Set(1, Prop::Text, "missing.jpg");
  EXPECT_TRUE(w->Image(1).empty());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ui
