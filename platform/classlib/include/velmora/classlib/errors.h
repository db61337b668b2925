#pragma once
// The error manager: one process-wide object through which windows and
// file managers report errors to the user. Message texts hold placeholders
// that are filled from the reporting thread's details:
//   %File       the file's label          %Field      a field or key description
//   %ErrorText  the runtime's error text  %Message    a text given with the error
//   %Procedure  the procedure name on top of the thread's stack
//   %Where      " (<the file's path>)" when the file's name is known, else ""
//   %Reason     what happened in words (the driver's text, else the
//               runtime's) followed by the error number: "... (36)"
// Messages are shown through the runtime's message box (rt::Message).
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/threads.h"

namespace cl {

// Severity returned by the class library's operations.
enum Level : int {
  kBenign = 0,   // success
  kUser = 1,
  kProgram = 2,
  kFatal = 3,    // the operation failed; reported
  kCancel = 4,
  kNotify = 5,   // the operation did not happen (end of file, refused record)
};

enum class Msg {
  OpenFailed,
  CreateFailed,
  ReadFailed,        // a sequential read failed for another reason than end of file
  FetchFailed,       // no record with the key value
  AddFailed,
  DuplicateKey,
  PutFailed,
  RecordChanged,     // changed by another station since it was read
  DeleteFailed,
  CascadeFailed,     // a cascaded change or delete was rolled back
  FileNotOpen,
};

struct ErrorDetails {
  std::string file;
  std::string fileName;  // the file's name as declared ("" unknown)
  std::string field;
  std::string message;
  std::vector<std::string> procedures;
};

class ErrorReporter {
 public:
  ErrorReporter();
  ~ErrorReporter();
  ErrorReporter(const ErrorReporter&) = delete;
  ErrorReporter& operator=(const ErrorReporter&) = delete;

  void Setup();
  void Teardown();

  // The procedure-name stack of the calling thread.
  void PushProcedure(std::string_view name);
  void PopProcedure();
  std::string Procedure() const;

  void SetFile(std::string_view label);
  void SetField(std::string_view description);
  ErrorDetails& Details() const;  // of the calling thread

  // Shows the message for `id` with the calling thread's details and
  // returns its level.
  int Throw(Msg id);
  // `fileName`: the file's declared name, shown as its path.
  int ThrowFile(Msg id, std::string_view fileLabel, std::string_view fileName = {});
  int ThrowMessage(Msg id, std::string_view message);

  // The message text and caption for `id`, before substitution.
  static std::string_view Text(Msg id);
  static std::string_view Caption(Msg id);
  static int LevelOf(Msg id);
  // `text` with every placeholder replaced from the thread's details.
  std::string Substitute(std::string_view text) const;

 private:
  mutable rt::ThreadLocal<ErrorDetails> details_;
};

}  // namespace cl
