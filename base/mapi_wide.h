// Simple MAPI's wide message, which MinGW's <mapi.h> lacks: MAPISendMailW takes paths and texts
// in UTF-16 (MAPI32.DLL has it from Windows 8 on). Shared by the program, which calls it, and
// the project's own MAPI32.DLLs, which export it.
#pragma once
#include <windows.h>
#include <mapi.h>

// The Windows SDK's <mapi.h> declares these together with this flag; MinGW's has neither.
#ifndef MAPI_FORCE_UNICODE

typedef struct {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;
    PWSTR lpszPathName;
    PWSTR lpszFileName;
    PVOID lpFileType;
} MapiFileDescW, *lpMapiFileDescW;

typedef struct {
    ULONG ulReserved;
    ULONG ulRecipClass;
    PWSTR lpszName;
    PWSTR lpszAddress;
    ULONG ulEIDSize;
    PVOID lpEntryID;
} MapiRecipDescW, *lpMapiRecipDescW;

typedef struct {
    ULONG ulReserved;
    PWSTR lpszSubject;
    PWSTR lpszNoteText;
    PWSTR lpszMessageType;
    PWSTR lpszDateReceived;
    PWSTR lpszConversationID;
    FLAGS flFlags;
    lpMapiRecipDescW lpOriginator;
    ULONG nRecipCount;
    lpMapiRecipDescW lpRecips;
    ULONG nFileCount;
    lpMapiFileDescW lpFiles;
} MapiMessageW, *lpMapiMessageW;

typedef ULONG(WINAPI MAPISENDMAILW)(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                    lpMapiMessageW lpMessage, FLAGS flFlags, ULONG ulReserved);
typedef MAPISENDMAILW* LPMAPISENDMAILW;

#endif

// Only the strings' width differs from the ANSI records: a field too many or too few shows here.
static_assert(sizeof(MapiFileDescW) == sizeof(MapiFileDesc), "MapiFileDescW's layout");
static_assert(sizeof(MapiRecipDescW) == sizeof(MapiRecipDesc), "MapiRecipDescW's layout");
static_assert(sizeof(MapiMessageW) == sizeof(MapiMessage), "MapiMessageW's layout");
