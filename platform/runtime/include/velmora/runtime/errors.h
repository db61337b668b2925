#pragma once
// The runtime's per-thread error state: every runtime and file operation
// sets it, and callers test it after each call (ERRORCODE, ERROR,
// FILEERRORCODE, FILEERROR, ERRORFILE).
#include <string>
#include <string_view>

namespace rt {

// Error numbers as the system stores and tests them.
enum : int {
  kNoError = 0,
  kFileNotFound = 2,
  kPathNotFound = 3,
  kTooManyOpenFiles = 4,
  kAccessDenied = 5,
  kEntryNotFound = 30,        // queue or key entry not found
  kRecordNotAvailable = 33,   // end or start of file
  kRecordNotFound = 35,
  kInvalidDataFile = 36,
  kFileNotOpen = 37,
  kDuplicateKey = 40,
  kRecordChangedByOther = 89, // PUT found the record changed since it was read
  kKeysMustBeRebuilt = 46,
  kInvalidRecordDeclaration = 47,
  kFileAlreadyOpen = 52,
  kInvalidPassword = 56,      // a file's owner does not match the one it was created with
  kMemoFileMissing = 73,
  kInvalidIndex = 76,
  kInvalidKeyLength = 88,
  kDriverError = 90,
};

// The runtime's text for an error number ("" for 0).
std::string_view DefaultErrorText(int code);

// Sets the thread's error; an empty text takes the default text.
void SetError(int code, std::string_view text = {});
// Sets the error together with the driver's own code and text.
void SetFileError(int code, int driverCode, std::string_view driverText,
                  std::string_view fileName = {});
// Sets the error with an SQL driver's state text (e.g. "01000") as the
// driver code, and the server's text.
void SetSqlFileError(int code, std::string_view sqlState, std::string_view driverText,
                     std::string_view fileName = {});
// Clears code, text, driver code and text.
void ClearError();

int ErrorCode();                // ERRORCODE()
std::string ErrorText();        // ERROR()
int FileErrorCode();            // FILEERRORCODE()
// The driver code as text: an SQL driver's state, else the number ("" for 0).
std::string FileErrorState();
std::string FileErrorText();    // FILEERROR()
std::string ErrorFile();        // ERRORFILE(): name of the file of the last file error

// The whole error state, saved before a clean-up step (a rollback, a
// close) that would overwrite it and put back afterwards.
struct ErrorSnapshot {
  int code = 0;
  std::string text;
  int fileCode = 0;
  std::string fileState;
  std::string fileText;
  std::string file;
};
ErrorSnapshot SaveError();
void RestoreError(const ErrorSnapshot& saved);

}  // namespace rt
