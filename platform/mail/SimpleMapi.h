#pragma once
// Simple MAPI, standing for the desktop's default mail program: "loading the library" finds the
// desktop's mail composer, its one entry MAPISendMail opens a new message there (or, without the
// dialog flag, sends it through sendmail). The records have the published shape; text is UTF-8.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zandrel::mail {

using LHANDLE = uintptr_t;
using ULONG = uint32_t;

struct MapiRecipDesc {
    ULONG ulReserved;
    ULONG ulRecipClass;      // MAPI_ORIG, MAPI_TO, MAPI_CC or MAPI_BCC
    const char* lpszName;    // display name; may be null
    const char* lpszAddress; // "SMTP:" and the address, or the bare address; may be null
    ULONG ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;          // 0xFFFFFFFF: not placed in the text
    const char* lpszPathName; // the file to attach
    const char* lpszFileName; // the name it is shown under; null: that of the path
    void* lpFileType;
};

struct MapiMessage {
    ULONG ulReserved;
    const char* lpszSubject;  // null: no subject
    const char* lpszNoteText; // null: no text
    const char* lpszMessageType;
    const char* lpszDateReceived;
    const char* lpszConversationID;
    ULONG flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;

constexpr ULONG MAPI_LOGON_UI = 0x1;
constexpr ULONG MAPI_DIALOG = 0x8;

constexpr ULONG SUCCESS_SUCCESS = 0;
constexpr ULONG MAPI_USER_ABORT = 1;
constexpr ULONG MAPI_E_FAILURE = 2;
constexpr ULONG MAPI_E_ATTACHMENT_NOT_FOUND = 11;
constexpr ULONG MAPI_E_BAD_RECIPTYPE = 15;
constexpr ULONG MAPI_E_INVALID_MESSAGE = 17;
constexpr ULONG MAPI_E_INVALID_RECIPS = 25;

using MapiSendMailFunction = ULONG (*)(LHANDLE session, uintptr_t uiParam, MapiMessage* message, ULONG flags,
                                       ULONG reserved);

// The loaded library. Unloading is letting go of it.
class SimpleMapiLibrary {
public:
    // Null when there is no mail program to stand for (no xdg-email on PATH); LastMapiError says why.
    static std::unique_ptr<SimpleMapiLibrary> Load();
    // The entry of that name, or null: only "MAPISendMail" is there.
    MapiSendMailFunction FindEntry(std::string_view entry) const;

private:
    SimpleMapiLibrary() = default;
};

// Why the last Load or MAPISendMail of this thread failed, in words a person can act on; empty
// after a success.
std::string LastMapiError();

} // namespace zandrel::mail
