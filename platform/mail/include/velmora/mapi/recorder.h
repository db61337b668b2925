#pragma once
// A provider that writes down what each call receives and answers with
// results set beforehand: the mail component's own tests see exactly how it
// fills every call without a mail system behind it.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "velmora/mapi/mapi.h"

namespace mapi {

class Recorder : public Provider {
 public:
  enum class Kind { Logon, Logoff, SendMail, Address };

  // Texts as received (Windows-1252); nullopt for a null pointer.
  struct Recipient {
    ULONG reserved = 0;
    ULONG recipClass = 0;
    std::optional<std::string> name, address;
    ULONG eidSize = 0;
    bool entryId = false;
  };
  struct File {
    ULONG reserved = 0;
    ULONG flags = 0;
    ULONG position = 0;
    std::optional<std::string> pathName, fileName;
    bool fileType = false;
  };
  struct Call {
    Kind kind = Kind::Logon;
    LHANDLE session = 0;
    ULONG_PTR uiParam = 0;
    FLAGS flags = 0;
    ULONG reserved = 0;
    bool heldThreadLock = false;  // the runtime lock was held during the call
    // Logon
    std::optional<std::string> profile, password;
    bool sessionOut = false;  // an address to receive the handle was given
    // SendMail
    bool message = false;  // a message was given
    ULONG messageReserved = 0;
    std::optional<std::string> subject, noteText, messageType, dateReceived, conversationId;
    FLAGS messageFlags = 0;
    std::optional<Recipient> originator;
    ULONG recipCount = 0;
    std::vector<Recipient> recips;
    ULONG fileCount = 0;
    std::vector<File> files;
    // Address
    std::optional<std::string> caption, labels;
    ULONG editFields = 0;
    ULONG inRecipCount = 0;
    bool inRecips = false;
  };

  // The result of every later call of a kind (SUCCESS_SUCCESS until set).
  void SetResult(Kind kind, ULONG result);
  // The session handle a successful logon hands out (1 until set).
  void SetSession(LHANDLE session);
  // What the address book hands back with its result: the chosen recipients
  // in a buffer from AllocateBuffer (also when none are chosen), or, with
  // `noBuffer`, a null array.
  void SetChosen(std::vector<Recipient> chosen, bool noBuffer = false);
  std::vector<Call> Calls() const;
  void Clear();

  ULONG Logon(ULONG_PTR ulUIParam, const char* lpszProfileName, const char* lpszPassword, FLAGS flFlags,
              ULONG ulReserved, LHANDLE* lplhSession) override;
  ULONG Logoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved) override;
  ULONG SendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, const MapiMessage* lpMessage, FLAGS flFlags,
                 ULONG ulReserved) override;
  ULONG Address(LHANDLE lhSession, ULONG_PTR ulUIParam, const char* lpszCaption, ULONG nEditFields,
                const char* lpszLabels, ULONG nRecips, MapiRecipDesc* lpRecips, FLAGS flFlags, ULONG ulReserved,
                ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips) override;

 private:
  static Call Begin(Kind kind, LHANDLE session, ULONG_PTR uiParam, FLAGS flags, ULONG reserved);
  ULONG Result(Kind kind) const;

  mutable std::mutex mu_;
  std::vector<Call> calls_;
  std::map<Kind, ULONG> results_;
  LHANDLE session_ = 1;
  std::vector<Recipient> chosen_;
  bool noBuffer_ = false;
};

}  // namespace mapi
