// FDF files as readers and toolkits write them, read into names and values.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "velmora/pdf/fdf.h"

namespace {

using velmora::pdf::FdfField;
using velmora::pdf::FdfResult;
using velmora::pdf::ReadFdfFields;

// An FDF file around a /Fields array body.
std::string Fdf(const std::string& fields) {
  return "%FDF-1.2\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /FDF << /Fields [" + fields +
         "] >> >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
}

// "name=value" per field, several values joined by "|".
std::vector<std::string> Read(const std::string& bytes, FdfResult expect = FdfResult::Ok) {
  std::vector<FdfField> fields;
  EXPECT_EQ(ReadFdfFields(bytes, fields), expect);
  std::vector<std::string> out;
  for (const FdfField& f : fields) {
    std::string joined;
    for (const std::string& v : f.values) joined += (joined.empty() ? "" : "|") + v;
    out.push_back(f.name + "=" + joined);
  }
  return out;
}

using Names = std::vector<std::string>;

TEST(Fdf, EveryShapeWritersUse) {
  const struct {
    const char* what;
    std::string bytes;
    Names expect;
  } cases[] = {
      {"one token per line",
       "%FDF-1.2\n%\xE2\xE3\xCF\xD3\n1 0 obj \n<<\n/FDF \n<<\n/Fields [\n<<\n/V (John Smith)\n/T (name)\n>> \n"
       "<<\n/V /Yes\n/T (agree)\n>>]\n>>\n>>\nendobj \ntrailer\n\n<<\n/Root 1 0 R\n>>\n%%EOF\n",
       {"name=John Smith", "agree=Yes"}},
      {"the whole object on one line",
       "%FDF-1.2\r1 0 obj<</FDF<</Fields[<</T(name)/V(John Smith)>><</T(agree)/V/Yes>>]/F(form.pdf)>>>>endobj\r"
       "trailer\r<</Root 1 0 R>>\r%%EOF\r",
       {"name=John Smith", "agree=Yes"}},
      {"escapes", Fdf("<< /T (a\\(b\\)c) /V (x\\\\y\\)z \\101\\102C\\nline \\\nend) >>"),
       {"a(b)c=x\\y)z ABC\nline end"}},
      {"hex strings", Fdf("<</T<6E616D65>/V<4A6F686E>>>"), {"name=John"}},
      {"UTF-16 with a byte-order mark and PDFDocEncoding",
       Fdf("<< /T <FEFF006E0061006D0065> /V <FEFF004D00FC006C006C00650072 20AC> >>"
           "<< /T (city) /V (K\\366ln \\240) >>"),
       {"name=M\xFCller\x80", "city=K\xF6ln \x80"}},
      {"nested kids",
       Fdf("<< /T (person) /Kids [ << /T (first) /V (Ann) >> << /T (last) /V (Lee) >> ] >>"
           "<< /T (a) /V (top) /Kids [ << /T (b) /Kids [ << /T (c) /V (deep) >> ] >> << /V (widget) >> ] >>"),
       {"person.first=Ann", "person.last=Lee", "a=top", "a.b.c=deep", "a=widget"}},
      {"names with #xx", Fdf("<< /T (state) /V /Ja#20bitte >> << /T (who) /V /M#C3#BCller >>"),
       {"state=Ja bitte", "who=M\xFCller"}},
      {"value arrays and numbers", Fdf("<< /T (list) /V [(Red) /Blue] >> << /T (n) /V 42 >> << /T (none) >>"),
       {"list=Red|Blue", "n=42"}},
      {"indirect fields",
       "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields 2 0 R >> >>\nendobj\n2 0 obj\n[ 3 0 R ]\nendobj\n"
       "3 0 obj\n<< /T (ind) /V 4 0 R >>\nendobj\n4 0 obj\n(by reference)\nendobj\n"
       "trailer\n<< /Root 1 0 R >>\n%%EOF\n",
       {"ind=by reference"}},
      {"no fields", Fdf(""), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Read(c.bytes), c.expect);
  }
}

TEST(Fdf, ALargeFileIsReadWhole) {
  std::string fields;
  for (int i = 1; i <= 3000; ++i)
    fields += "<< /T (f" + std::to_string(i) + ") /V (value " + std::to_string(i) + ") >>\n";
  const std::string bytes = Fdf(fields);
  ASSERT_GT(bytes.size(), 65536u);
  const Names names = Read(bytes);
  ASSERT_EQ(names.size(), 3000u);
  EXPECT_EQ(names.back(), "f3000=value 3000");
}

TEST(Fdf, DamagedAndForeignFilesGiveNothing) {
  const std::string good = Fdf("<< /T (name) /V (John) >>");
  const struct {
    const char* what;
    std::string bytes;
    FdfResult result;
  } cases[] = {
      {"cut short", good.substr(0, good.find("/V")), FdfResult::Damaged},
      {"an unreadable field", Fdf("<< /T (name) /V (John) >> << /T (x) /V ) >>"), FdfResult::Damaged},
      {"fields that are not a list", Fdf("").replace(Fdf("").find("["), 2, "5 "), FdfResult::Damaged},
      {"a field that is not a dictionary", Fdf("(loose)"), FdfResult::Damaged},
      {"kids pointing back",
       "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [ 2 0 R ] >> >>\nendobj\n"
       "2 0 obj\n<< /T (loop) /V (v) /Kids [ 2 0 R ] >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n",
       FdfResult::Damaged},
      {"plain text", "name,John\n", FdfResult::NotFdf},
      {"empty", "", FdfResult::NotFdf},
      {"an FDF header without /FDF",
       "%FDF-1.2\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n",
       FdfResult::NotFdf},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(Read(c.bytes, c.result).empty());
  }
  // a PDF form is not an FDF file
  std::ifstream in(fixtures::MakeForm("fdf_form.pdf"), std::ios::binary);
  const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(pdf.empty());
  EXPECT_TRUE(Read(pdf, FdfResult::NotFdf).empty());
}

}  // namespace
