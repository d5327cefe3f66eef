// Kestrune's own MAPI32.DLL for Wine (wine-fixes/mapi32) with a stand-in xdg-email first on
// PATH, which notes the attachments it finds and ends as the test asks.
#include <windows.h>
#include <gtest/gtest.h>
#include <mapi.h>

#include <fstream>
#include <string>
#include "tests/support/environment.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(folder + L"\\" + name);
            } else {
                DeleteFileW((folder + L"\\" + name).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

ULONG Send(LPMAPISENDMAIL sendMail, const char* path, const char* name) {
    MapiFileDesc file = {};
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = const_cast<char*>(path);
    file.lpszFileName = const_cast<char*>(name);
    MapiMessage message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;
    return sendMail(0, 0, &message, MAPI_DIALOG, 0);
}

TEST(WineMapi32, NamesPathsAndTheMailProgramsAnswer) {
    const std::string log = EnvironmentText("KESTRUNE_FAKE_MAIL_LOG_WINDOWS");
    const std::string library = EnvironmentText("KESTRUNE_WINE_MAPI32");
    ASSERT_FALSE(log.empty() || library.empty()) << "run by CTest, which names both";
    HMODULE mapi = LoadLibraryA(library.c_str());
    ASSERT_NE(mapi, nullptr) << library;
    auto sendMail = reinterpret_cast<LPMAPISENDMAIL>(
        reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMail")));
    ASSERT_NE(sendMail, nullptr);

    // A temporary folder whose name is not ASCII, as a user folder may be.
    WCHAR temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder =
        std::wstring(temp) + L"kestrune-k\u00fcrz-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    WCHAR savedTemp[MAX_PATH] = L"";
    WCHAR savedTmp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    SetEnvironmentVariableW(L"TEMP", (folder + L"\\").c_str());
    SetEnvironmentVariableW(L"TMP", (folder + L"\\").c_str());
    char voice[MAX_PATH];
    char ansiFolder[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, ansiFolder), 0u);
    ASSERT_NE(GetTempFileNameA(ansiFolder, "kes", 0, voice), 0u);
    DeleteFileA(log.c_str());

    // An entry that names nothing, and one whose name cannot fit a path: refused, not run.
    EXPECT_EQ(Send(sendMail, nullptr, nullptr), static_cast<ULONG>(MAPI_E_ATTACHMENT_NOT_FOUND));
    const std::string longName = std::string(300, 'n') + ".wav";
    EXPECT_EQ(Send(sendMail, voice, longName.c_str()),
              static_cast<ULONG>(MAPI_E_ATTACHMENT_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(log.c_str()), INVALID_FILE_ATTRIBUTES) << "xdg-email was run";

    // The mail program ends with an error: nobody took the message.
    SetEnvironmentVariableA("KESTRUNE_FAKE_MAIL_STATUS", "3");
    EXPECT_EQ(Send(sendMail, voice, "voice-message.wav"), static_cast<ULONG>(MAPI_E_FAILURE));
    SetEnvironmentVariableA("KESTRUNE_FAKE_MAIL_STATUS", "0");
    EXPECT_EQ(Send(sendMail, voice, "voice-message.wav"), static_cast<ULONG>(SUCCESS_SUCCESS));
    SetEnvironmentVariableA("KESTRUNE_FAKE_MAIL_STATUS", nullptr);

    // Both runs found their attachment under the non-ASCII folder, spelt in UTF-8.
    const std::string found = ReadAll(log);
    size_t lines = 0;
    for (size_t at = found.find("found "); at != std::string::npos;
         at = found.find("found ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 2u) << found;
    EXPECT_EQ(found.find("missing"), std::string::npos) << found;
    EXPECT_NE(found.find("kestrune-k\xc3\xbcrz-"), std::string::npos) << found;
    EXPECT_NE(found.find("/voice-message.wav\n"), std::string::npos) << found;

    SetEnvironmentVariableW(L"TEMP", savedTemp[0] ? savedTemp : nullptr);
    SetEnvironmentVariableW(L"TMP", savedTmp[0] ? savedTmp : nullptr);
    DeleteFileA(voice);
    DeleteFileA(log.c_str());
    // The library's copies stay for a day; this folder is the test's own.
    RemoveTree(folder);
}

}  // namespace
