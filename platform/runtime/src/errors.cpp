#include "velmora/runtime/errors.h"

namespace rt {
namespace {

ErrorSnapshot& State() {
  thread_local ErrorSnapshot state;
  return state;
}

}  // namespace

std::string_view DefaultErrorText(int code) {
  switch (code) {
    case 0: return "";
    case kFileNotFound: return "File Not Found";
    case kPathNotFound: return "Path Not Found";
    case kTooManyOpenFiles: return "Too Many Open Files";
    case kAccessDenied: return "Access Denied";
    case kEntryNotFound: return "Entry Not Found";
    case kRecordNotAvailable: return "Record Not Available";
    case kRecordNotFound: return "Record Not Found";
    case kInvalidDataFile: return "Invalid Data File";
    case kFileNotOpen: return "File Not Open";
    case kDuplicateKey: return "Creates Duplicate Key";
    case kKeysMustBeRebuilt: return "Key File Must Be Rebuilt";
    case kInvalidRecordDeclaration: return "Invalid Record Declaration";
    case kFileAlreadyOpen: return "File Already Open";
    case kInvalidPassword: return "Invalid Password";
    case kMemoFileMissing: return "Memo File Missing";
    case kInvalidIndex: return "Invalid Index";
    case kInvalidKeyLength: return "Invalid Key Length";
    case kRecordChangedByOther: return "Record Changed By Another Station";
    case kDriverError: return "File System Error";
    default: return "Unknown Error";
  }
}

void SetError(int code, std::string_view text) {
  ErrorSnapshot& s = State();
  s.code = code;
  s.text = text.empty() ? std::string(DefaultErrorText(code)) : std::string(text);
  s.fileCode = 0;
  s.fileState.clear();
  s.fileText.clear();
}

void SetFileError(int code, int driverCode, std::string_view driverText,
                  std::string_view fileName) {
  SetError(code);
  ErrorSnapshot& s = State();
  s.fileCode = driverCode;
  s.fileText = std::string(driverText);
  s.file = std::string(fileName);
}

void SetSqlFileError(int code, std::string_view sqlState, std::string_view driverText,
                     std::string_view fileName) {
  SetFileError(code, 0, driverText, fileName);
  State().fileState = std::string(sqlState);
}

void ClearError() {
  ErrorSnapshot& s = State();
  s.code = 0;
  s.text.clear();
  s.fileCode = 0;
  s.fileState.clear();
  s.fileText.clear();
}

int ErrorCode() { return State().code; }
std::string ErrorText() { return State().text; }
int FileErrorCode() { return State().fileCode; }
std::string FileErrorState() {
  const ErrorSnapshot& s = State();
  if (!s.fileState.empty()) return s.fileState;
  return s.fileCode ? std::to_string(s.fileCode) : std::string();
}
std::string FileErrorText() { return State().fileText; }
std::string ErrorFile() { return State().file; }

ErrorSnapshot SaveError() { return State(); }
void RestoreError(const ErrorSnapshot& saved) { State() = saved; }

}  // namespace rt
