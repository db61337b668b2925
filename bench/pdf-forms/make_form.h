#pragma once
// The benchmarks' document: a 20-page form (or as many pages as asked), 10 fields a page, each page with
// a heading, labels and a frame as a printed form has.
#include <string>

constexpr int kFormPages = 20;
constexpr int kFormFieldsPerPage = 10;

enum class BenchFields {
  Text,   // every field a text field
  Mixed,  // per page seven text fields, a check box, a two-button radio group, a choice
};

// `pages` pages of kFormFieldsPerPage fields each.
void MakeBenchForm(const std::string& path, BenchFields kinds, int pages = kFormPages);

// A one-page form holding one radio group of `buttons` buttons, states
// "s0".."s<buttons-1>", "s1" selected.
void MakeRadioForm(const std::string& path, int buttons);
