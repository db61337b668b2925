#pragma once
// The benchmarks' other documents: the form with a photograph on every
// page, a long document of text pages, and forms of many filled fields.
#include <string>

// Writes the Mixed benchmark form (make_form.h) with a photograph of
// 640 by 427 pixels drawn 4.5 by 3 inches on every page, under the fields.
void MakePictureForm(const std::string& path);

// A document of `pages` pages of running text, 50 lines a page.
void MakeTextDocument(const std::string& path, int pages);

// A form of `fields` fields, 100 to a page, each with a value: of every ten,
// eight text fields ("value <i>"), a check box (on, "Yes") and a radio group
// of two buttons ("b1" on). Field i is named "f<i>". Also writes an FDF
// file with every value to `fdf`.
void MakeValuesForm(const std::string& path, int fields, const std::string& fdf);
