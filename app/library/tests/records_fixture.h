// Runs the form library's record windows on runtime threads of their own
// and drives them through the headless window layer.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "editor_fixture.h"
#include "velmora/files/files.h"
#include "velmora/library/recordcalls.h"
#include "velmora/library/records.h"
#include "velmora/ui/keys.h"

namespace rectest {

using data::FileId;
using ui::Prop;

// What a window's thread left when its window closed.
struct Outcome {
  std::atomic<bool> done{false};
  std::atomic<int> response{0};
  std::atomic<long> form{0}, dataSet{0}, alias{0};
};

class Records : public edtest::EditorFixture {
 protected:
  // The editor's fixture points TMPDIR into its folder: put it back.
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    tmpdir_ = tmp ? tmp : "";
    EditorFixture::SetUp();
  }
  void TearDown() override {
    EditorFixture::TearDown();
    if (tmpdir_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", tmpdir_.c_str(), 1);
  }
  std::string tmpdir_;

  // Runs `window` on a new thread after `prepare` made its record current
  // there; waits until a window with `caption` is open.
  std::shared_ptr<Outcome> Run(const std::function<void(data::Dictionary&)>& prepare,
                               const std::function<void()>& window) {
    auto out = std::make_shared<Outcome>();
    rt::Start(
        [out, prepare, window](std::vector<std::string>) {
          data::Dictionary& d = data::ThisThread();
          d.Relate(FileId::Forms)->Open();
          d.Relate(FileId::FilledForm)->Open();
          prepare(d);
          window();
          out->response = cl::ThreadResponse();
          out->form = d.FOR.ID;
          out->dataSet = d.FIL.ID;
          out->alias = d.ALI.ID;
          d.Relate(FileId::FilledForm)->Close();
          d.Relate(FileId::Forms)->Close();
          out->done = true;
        },
        25000);
    return out;
  }

  // The form record window with a request; `form` 0 for a new form.
  std::shared_ptr<Outcome> RunForm(int request, long form = 0, bool fromEditor = false, long set = 0) {
    return Run(
        [=](data::Dictionary& d) {
          cl::FileManager* forms = d.Access(FileId::Forms);
          if (form == 0) {
            forms->PrimeRecord();
          } else {
            d.FOR.ID = static_cast<rt::Long>(form);
            forms->TryFetch(forms->KeyNumber("FOR:ID_Key"));
          }
          if (set) {
            d.FIL.ID = static_cast<rt::Long>(set);
            d.Access(FileId::FilledForm)->TryFetch(d.Access(FileId::FilledForm)->KeyNumber("FIL:ID_Key"));
          }
          cl::ThreadRequest() = static_cast<rt::Byte>(request);
        },
        [=] {
          if (fromEditor)
            library::UpdateForms(true, set != 0);
          else
            library::UpdateForms(false);
        });
  }

  std::shared_ptr<ui::Window> Window(std::string_view caption) {
    auto w = ui::WaitForWindow(caption);
    EXPECT_NE(w, nullptr) << caption;
    if (w) Settle();
    return w;
  }
  bool Finished(const std::shared_ptr<Outcome>& out) {
    const bool done = ui::WaitUntil([&] { return out->done.load(); }, std::chrono::seconds(60));
    if (!done) {
      // a window that stayed open would keep the test waiting for its thread
      ADD_FAILURE() << "a window stayed open; messages: " << ::testing::PrintToString(Messages());
      uitest::CloseEveryWindow();
    }
    rt::WaitForThreads();
    return done;
  }
  // Presses a control and waits until the window has handled it (`until`
  // holds, for handlers that show dialogs).
  void Press(const std::shared_ptr<ui::Window>& w, int control, const std::function<bool()>& until = {}) {
    ASSERT_TRUE(w->InputAccept(control)) << control;
    Settle();
    if (until) {
      EXPECT_TRUE(ui::WaitUntil(until, std::chrono::seconds(60))) << ::testing::PrintToString(Messages());
      Settle();
    }
  }
  // "PDF File" with this file, the document's fields taken.
  void ImportInto(const std::shared_ptr<ui::Window>& w, const std::string& file) {
    ui::Headless().AnswerFile({file});
    ui::Headless().AnswerMessage(ui::button::Yes);
    Press(w, 18, [&] { return w->Get(44, Prop::ScreenText) == "Done!" && w->PendingEvents() == 0; });
  }

  // A second form from another file (one page, a radio group).
  long ImportSecond() {
    const std::string file = forms::MakePartialRadio((dir_ / "second.pdf").string());
    D().Relate(FileId::Forms)->Open();
    ui::Headless().AnswerMessage(ui::button::Yes);
    EXPECT_EQ(apppdf::CreateFormFromPdf(file), 1);
    const long id = D().FOR.ID;
    D().Relate(FileId::Forms)->Close();
    ui::Headless().Reset();
    return id;
  }
  // A value of a data set, stored directly.
  void AddValue(long set, short page, long control, const std::string& value) {
    cl::FileManager* values = D().Access(FileId::FilledData);
    values->Open();
    D().File(FileId::FilledData).ClearRecord();
    D().FIL1.ID = static_cast<rt::Long>(set);
    D().FIL1.PAGENO = page;
    D().FIL1.CONTROLID = static_cast<rt::Long>(control);
    D().FIL1.VALUE = value;
    EXPECT_EQ(values->TryInsert(), cl::kBenign);
    values->Close();
  }
  std::vector<std::shared_ptr<ui::Window>> WindowsCaptioned(std::string_view caption) {
    std::vector<std::shared_ptr<ui::Window>> out;
    for (auto& w : ui::OpenWindows())
      if (w->Get(0, Prop::Text) == caption) out.push_back(w);
    return out;
  }

  std::vector<data::FormsRecord> Forms() { return All(FileId::Forms, D().FOR, 1); }
  std::vector<data::FormPagesRecord> Pages() { return All(FileId::FormPages, D().FOR1, 1); }
  std::vector<data::FieldValuesRecord> Options() { return All(FileId::FieldValues, D().FIE, 1); }
  std::vector<data::FilledFormRecord> DataSets() { return All(FileId::FilledForm, D().FIL, 1); }
public:
  template <class Rec>
  static size_t Of(const std::vector<Rec>& records, long form) {
    return static_cast<size_t>(std::count_if(records.begin(), records.end(), [&](const Rec& r) {
      if constexpr (std::is_same_v<Rec, data::FormsRecord>)
        return r.ID == form;
      else
        return r.FORMID == form;
    }));
  }

 protected:
  // The PDF stored with a form.
  std::string StoredPdf(long form) {
    D().Relate(FileId::Forms)->Open();
    D().FOR.ID = static_cast<rt::Long>(form);
    std::string bytes;
    if (D().Access(FileId::Forms)->TryFetch(1) == cl::kBenign) {
      db::FileDecl& f = D().File(FileId::Forms);
      const int blob = f.MemoIndex("FOR:PDFDATA");
      auto v = db::BlobRead(f, blob, 0, db::BlobSize(f, blob));
      bytes.assign(v.begin(), v.end());
    }
    D().Relate(FileId::Forms)->Close();
    return bytes;
  }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) texts.push_back(a.message.text);
    return texts;
  }
};

}  // namespace rectest
