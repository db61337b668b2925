#pragma once
// The benchmarks' document: a 20-page form with 10 text fields a page.
#include <string>

constexpr int kFormPages = 20;
constexpr int kFormFieldsPerPage = 10;

void MakeBenchForm(const std::string& path);
