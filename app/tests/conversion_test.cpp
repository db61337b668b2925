// The program's own data files change: files an earlier release wrote are
// converted when the program opens them, with every record, every stored
// PDF and page picture, working keys and nothing left behind; and a
// conversion killed at any moment loses no record.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "fixture.h"
#include "previous_files.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/upgrade_file.h"

namespace {

namespace fs = std::filesystem;
using data::FileId;

class ProgramFiles : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    rt::SetCommandLine({rt::WindowsPath((dir_ / "velmora").string()), "/debugrv"});
    upg::ResetRegistration();
    upg::RVQ().clear();
    rt::SetStopHandler([this](std::string_view text) {
      stops_.emplace_back(text);
      return false;
    });
  }
  void TearDown() override {
    db::SetOpenHook({});
    rt::SetStopHandler(nullptr);
    upg::ResetRegistration();
    unsetenv("XDG_CONFIG_HOME");
    TempFolder::TearDown();
  }
  // The program's start: its files' managers and its registration.
  void Start() {
    upg::InstallOpenHook();
    data::CreateFileManagers();
    data::StartRelationManagers();
    app::RegisterDataFiles(app::UpgradeEngine());
  }
  // Nothing of a conversion is left in the folder or in data\.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const fs::path& d : {fs::path("."), fs::path("data")})
      for (const auto& e : fs::directory_iterator(d)) {
        std::string n = e.path().filename().string();
        if (n.rfind("dstmp", 0) == 0 || n.ends_with(".rv3") || n.find(".cnv") != std::string::npos)
          out.push_back(n);
      }
    return out;
  }
  std::vector<std::string> stops_;
};

// The value a field of the current declaration holds for what the earlier
// release wrote: the same text through the current field's type.
std::string Expected(const db::FileDecl& current, const std::string& label, const std::string& value) {
  auto scratch = current.Clone();
  previous::SetField(*scratch, label, value);
  return previous::FieldText(*scratch, label);
}

TEST_F(ProgramFiles, AnEarlierReleasesFilesConvertWhenTheProgramOpensThem) {
  previous::WritePdf("member.pdf");
  const previous::Content written = previous::WriteFiles("member.pdf");
  ASSERT_EQ(written.at(FileId::FormPages).size(), 2u) << "the PDF was rendered";
  ASSERT_GT(written.at(FileId::FormPages)[0].memos.at("PAGEIMAGE").size(), 100u);
  Start();
  data::Dictionary& d = data::ThisThread();
  // The alias file first, so FILLEDFO.TPS converts through the alias pairs.
  for (FileId id : {FileId::AliasFilledForm, FileId::Forms, FileId::FormPages, FileId::PageControls,
                    FileId::FieldValues, FileId::FilledForm, FileId::PDFDetails, FileId::FilledData}) {
    db::FileDecl& f = d.File(id);
    SCOPED_TRACE(f.Label());
    ASSERT_EQ(d.Access(id)->Open(), 0);
    const FileId source = id == FileId::AliasFilledForm ? FileId::FilledForm : id;
    auto it = written.find(source);
    if (it == written.end()) {  // missing: nothing converted, created empty
      EXPECT_EQ(db::Records(f), 0u);
      d.Access(id)->Close();
      continue;
    }
    const std::vector<previous::Record>& records = it->second;
    ASSERT_EQ(db::Records(f), records.size());
    db::Set(f);
    for (size_t r = 0; r < records.size(); ++r) {
      db::Next(f);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      for (const auto& [name, value] : records[r].fields) {
        std::string label = f.Prefix() + ":" + name;
        if (f.FieldIndex(label) < 0) continue;  // a field since removed
        EXPECT_EQ(previous::FieldText(f, label), Expected(f, label, value)) << label << " of record " << r + 1;
      }
      for (const db::FieldInfo& fi : f.Fields()) {  // fields added since: primed
        std::string name = fi.label.substr(fi.label.find(':') + 1);
        if (fi.type != db::Type::Group && records[r].fields.count(name) == 0) {
          std::string text = previous::FieldText(f, fi.label);
          EXPECT_TRUE(text == "0" || text.empty()) << fi.label << " = " << text;
        }
      }
      for (const auto& [name, bytes] : records[r].memos) {
        const std::vector<uint8_t>& got = f.Memos()[static_cast<size_t>(f.MemoIndex(f.Prefix() + ":" + name))].data;
        EXPECT_TRUE(got == bytes) << name << " of record " << r + 1 << ": " << got.size() << " bytes, not "
                                  << bytes.size();
      }
    }
    // Every key, the added ones too, holds every record.
    for (size_t k = 1; k <= f.Keys().size(); ++k) {
      uint32_t n = 0;
      db::Set(f, static_cast<int>(k));
      for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) ++n;
      EXPECT_EQ(n, records.size()) << f.Keys()[k - 1].label;
    }
    d.Access(id)->Close();
  }
  // The stored PDF found by its key.
  db::FileDecl& forms = d.File(FileId::Forms);
  d.Access(FileId::Forms)->Open();
  d.FOR.ID = 1;
  db::Get(forms, 1);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_TRUE(forms.Memos()[0].data == written.at(FileId::Forms)[0].memos.at("PDFDATA"));
  d.Access(FileId::Forms)->Close();

  std::vector<std::string> rows;
  for (const upg::ConversionRow& r : upg::RVQ())
    rows.push_back(r.prefix + " " + std::to_string(r.fromVersion) + ">" + std::to_string(r.toVersion));
  EXPECT_EQ(rows, (std::vector<std::string>{"ALI 0>1", "FOR 4>5", "FOR1 0>1", "PAG 4>5", "FIE 0>1"}));
  EXPECT_TRUE(Leftovers().empty()) << Leftovers()[0];
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  data::StopDictionary();
}

}  // namespace
