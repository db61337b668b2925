#pragma once
// The benchmarks' strongest peer: pdftoppm on every core, one process per
// range of pages, as a user would script it with xargs -P.
#include <string>

// Renders pages 1..pages of `pdf` at `dpi` into files starting with
// `outBase`; the seconds it took, or a negative number when it failed.
double PdftoppmAllCores(const std::string& pdf, const std::string& outBase, int pages, int dpi,
                        int* processes);

// CPU seconds (user and system) of this process and its ended children so
// far: the work a run did, whatever else the machine is doing.
double CpuSeconds();

// CPU seconds of this process, its ended children and its children still
// running (read from /proc): the work of workers that outlive a step.
double CpuSecondsWithLiveChildren();
