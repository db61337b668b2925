// The record windows of the form library. Each runs on the calling thread
// with its record current in that thread's record buffer, takes the request
// from ThreadRequest and leaves the outcome in ThreadResponse.
#pragma once

namespace library {

// One Forms record; `fromEditor` shows and saves the current data set too.
void UpdateForms(bool fromEditor);
// One FormPages record.
void UpdateFormPages();
// One FilledForm record (a data set).
void UpdateFilledForm();
// Chooses a data set of the current form into the AliasFilledForm buffer.
void SelectFilledForm();

}  // namespace library
