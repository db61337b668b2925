#pragma once
// The rendering benchmarks' other documents: the form with a photograph on
// every page, and a long document of text pages.
#include <string>

// Writes the Mixed benchmark form (make_form.h) with a photograph of
// 640 by 427 pixels drawn 4.5 by 3 inches on every page, under the fields.
void MakePictureForm(const std::string& path);

// A document of `pages` pages of running text, 50 lines a page.
void MakeTextDocument(const std::string& path, int pages);
