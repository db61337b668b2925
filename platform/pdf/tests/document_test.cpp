// Documents: loading, encryption, saving, information, fonts, threads.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "document.h"
#include "fixtures.h"
#include "velmora/pdf/pdf.h"

namespace {

using fixtures::Loaded;

TEST(PdfDocument, LoadsSelectsAndRemoves) {
  auto path = fixtures::MakeForm();
  int id = iSEDLoadFromFile(path);
  ASSERT_NE(id, 0);
  EXPECT_EQ(iSEDSelectedDocument(), id);
  EXPECT_EQ(iSEDEncrypted(), 0);
  EXPECT_EQ(iSEDPageCount(), 2);
  EXPECT_EQ(iSEDRemoveDocument(id), 1);
  EXPECT_EQ(iSEDSelectedDocument(), 0);
  EXPECT_EQ(iSEDRemoveDocument(id), 0);
}

TEST(PdfDocument, BadFilesFailToLoadAndLeaveNothingSelected) {
  auto form = fixtures::MakeForm("for-damage.pdf");
  const std::string files[] = {
      fixtures::Path("missing.pdf"),
      fixtures::WriteFile("not-a-pdf.pdf", "this is plain text, not a document\n"),
      fixtures::WriteFile("empty.pdf", ""),
      fixtures::MakeTruncated(form, "truncated.pdf", 0.05),
      fixtures::MakeEncrypted(form, "user-password.pdf", "secret", "owner"),
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    EXPECT_EQ(iSEDLoadFromFile(f), 0);
    EXPECT_EQ(iSEDLoadFailure(), 1);
    EXPECT_EQ(iSEDSelectedDocument(), 0);
    EXPECT_EQ(iSEDPageCount(), 0);
    EXPECT_EQ(iSEDFormFieldCount(), 0);
    EXPECT_EQ(iSEDGetFormFieldTitle(1), "");
    EXPECT_EQ(iSEDSelectPage(1), 0);
    EXPECT_EQ(iSEDGetPageText(3), "");
    EXPECT_EQ(iSEDNewFormField("x", 1), 0);
    EXPECT_EQ(iSEDSaveToFile(fixtures::Path("never.pdf")), 0);
    EXPECT_EQ(iSEDRenderDocumentToFile(72, 1, 1, 6, fixtures::Path("never%p.gif")), 0);
  }
}

TEST(PdfDocument, DamagedFilesNeverCrash) {
  // Whatever qpdf makes of a file with a stretch of it destroyed, every
  // operation stays safe.
  auto form = fixtures::MakePlain(fixtures::MakeForm("for-damage2.pdf"), "plain-for-damage.pdf");
  int loaded = 0;
  for (double at : {0.1, 0.3, 0.5, 0.7}) {
    SCOPED_TRACE(at);
    Loaded doc(fixtures::MakeOverwritten(form, "damaged.pdf", at, at + 0.15));
    if (!doc.id) continue;
    ++loaded;
    for (int p = 1; p <= iSEDPageCount(); ++p) {
      iSEDSelectPage(p);
      iSEDGetPageBox(2, 0);
      iSEDGetPageText(3);
      iSEDGetPageContent();
    }
    for (int f = 1; f <= iSEDFormFieldCount(); ++f) {
      iSEDGetFormFieldTitle(f);
      iSEDGetFormFieldValue(f);
      iSEDGetFormFieldBound(f, 0);
      iSEDSetFormFieldValue(f, "x");
      iSEDUpdateAppearanceStream(f);
    }
    iSEDRenderDocumentToFile(18, 1, std::max(1, iSEDPageCount()), 6,
                             fixtures::Path("damaged%p.gif"));
    while (iSEDFormFieldCount() > 0 && iSEDFlattenFormField(1)) {
    }
    iSEDSaveToFile(fixtures::Path("damaged-saved.pdf"));
  }
  EXPECT_GT(loaded, 0);  // qpdf recovers what is left of most of them
}

// A load that runs out of time gives up, and the next load has its own.
TEST(PdfDocument, ALoadOutOfTimeIsRefusedAndTheNextLoads) {
  auto path = fixtures::MakeForm("in-time.pdf");
  {
    fixtures::LoadBound none(0);
    EXPECT_EQ(iSEDLoadFromFile(path), 0);
    EXPECT_EQ(iSEDLoadFailure(), 2);
    EXPECT_EQ(iSEDSelectedDocument(), 0);
  }
  Loaded doc(path);
  ASSERT_NE(doc.id, 0);
  EXPECT_EQ(iSEDLoadFailure(), 0);
  EXPECT_EQ(iSEDFormFieldCount(), 8);
}

TEST(PdfDocument, RecoversABrokenCrossReference) {
  // Damage the xref offset of a file with a classic table: the table is
  // rebuilt from the objects.
  std::string path = fixtures::MakePlain(fixtures::MakeForm("xref-source.pdf"), "xref-plain.pdf");
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::string bytes = s.str();
  auto at = bytes.rfind("startxref");
  ASSERT_NE(at, std::string::npos);
  bytes = bytes.substr(0, at) + "startxref\n12\n%%EOF\n";
  Loaded doc(fixtures::WriteFile("broken-xref.pdf", bytes));
  ASSERT_NE(doc.id, 0);
  EXPECT_EQ(iSEDPageCount(), 2);
  EXPECT_EQ(iSEDFormFieldCount(), 8);
}

TEST(PdfDocument, OwnerPasswordFileOpensAndSavesWithoutEncryption) {
  auto enc = fixtures::MakeEncrypted(fixtures::MakeForm("for-owner.pdf"), "owner-only.pdf", "",
                                     "owner");
  auto out = fixtures::Path("decrypted.pdf");
  {
    Loaded doc(enc);
    ASSERT_NE(doc.id, 0);
    EXPECT_NE(iSEDEncrypted(), 0);
    EXPECT_EQ(iSEDUnencrypt(), 1);
    EXPECT_EQ(iSEDEncrypted(), 0);
    EXPECT_EQ(iSEDFormFieldCount(), 8);
    EXPECT_EQ(iSEDGetFormFieldValue(1), "John");
    EXPECT_EQ(iSEDSaveToFile(out), 1);
  }
  QPDF q;
  q.processFile(out.c_str());
  EXPECT_FALSE(q.isEncrypted());
  EXPECT_EQ(q.getAllPages().size(), 2u);
}

TEST(PdfDocument, SavesOverTheLoadedFile) {
  auto path = fixtures::MakeForm("resave.pdf");
  {
    Loaded doc(path);
    ASSERT_EQ(iSEDSetFormFieldValue(1, "Jane"), 1);
    ASSERT_EQ(iSEDSaveToFile(path), 1);
  }
  Loaded again(path);
  ASSERT_NE(again.id, 0);
  EXPECT_EQ(iSEDGetFormFieldValue(1), "Jane");
}

TEST(PdfDocument, NeedAppearancesIsWritten) {
  auto out = fixtures::Path("need.pdf");
  {
    Loaded doc(fixtures::MakeForm("need-source.pdf"));
    EXPECT_EQ(iSEDSetNeedAppearances(1), 1);
    ASSERT_EQ(iSEDSaveToFile(out), 1);
  }
  QPDF q;
  q.processFile(out.c_str());
  auto na = q.getRoot().getKey("/AcroForm").getKey("/NeedAppearances");
  EXPECT_TRUE(na.isBool() && na.getBoolValue());
}

TEST(PdfDocument, InformationAsTheDocumentStatesIt) {
  Loaded doc(fixtures::MakeForm("info.pdf"));
  const std::pair<int, std::string> cases[] = {
      {0, "1.6"},
      {1, "Ann Author"},
      {2, "Caf\xE9 form"},  // Windows-1252
      {3, "Tests"},
      {4, ""},
      {5, "fixture maker"},
      {6, "qpdf"},
      {7, "D:20240102030405Z"},
      {8, "D:20240607080910Z"},
      {9, ""},
  };
  for (const auto& [key, want] : cases) EXPECT_EQ(iSEDGetInformation(key), want) << key;
}

TEST(PdfDocument, FontsAreFoundAndSelected) {
  Loaded doc(fixtures::MakeForm("fonts.pdf"));
  int n = iSEDFindFonts();
  ASSERT_EQ(n, 1);  // Helvetica, shared by the pages and the form
  EXPECT_EQ(iSEDSelectFont(iSEDFontID(1)), 1);
  EXPECT_EQ(iSEDFontID(2), 0);
  EXPECT_EQ(iSEDSelectFont(0), 0);
}

TEST(PdfDocument, EachThreadHasItsOwnSelectedDocument) {
  auto a = fixtures::MakeForm("thread-a.pdf");
  auto b = fixtures::MakeForm("thread-b.pdf");
  auto work = [](std::string path, std::string value, bool* ok) {
    *ok = true;
    for (int round = 0; round < 20 && *ok; ++round) {
      int id = iSEDLoadFromFile(path);
      *ok = id != 0 && iSEDSetFormFieldValue(1, value) == 1;
      for (int i = 0; i < 50 && *ok; ++i)
        *ok = iSEDSelectedDocument() == id && iSEDGetFormFieldValue(1) == value;
      iSEDRemoveDocument(id);
    }
  };
  bool okA = false, okB = false;
  std::thread ta(work, a, "from A", &okA), tb(work, b, "from B", &okB);
  ta.join();
  tb.join();
  EXPECT_TRUE(okA);
  EXPECT_TRUE(okB);
  EXPECT_EQ(iSEDSelectedDocument(), 0);
}

}  // namespace
