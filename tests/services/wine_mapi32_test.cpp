// Kestrune's own MAPI32.DLL for Wine (wine-fixes/mapi32), both its entries, with a stand-in
// xdg-email first on PATH, which notes the attachments it finds and ends as the test asks.
#include <windows.h>
#include <gtest/gtest.h>
#include <mapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/mapi_wide.h"
#include "tests/support/environment.h"
#include "tests/support/file_bytes.h"

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

ULONG SendWide(LPMAPISENDMAILW sendMail, const std::wstring& path, const std::wstring& name) {
    MapiFileDescW file = {};
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = const_cast<PWSTR>(path.c_str());
    file.lpszFileName = const_cast<PWSTR>(name.c_str());
    MapiMessageW message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;
    return sendMail(0, 0, &message, MAPI_DIALOG, 0);
}

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, nullptr,
                                          0, nullptr, nullptr);
    if (bytes <= 0) {
        ADD_FAILURE() << "not UTF-16";
        return std::string();
    }
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, &utf8[0], bytes, nullptr,
                        nullptr);
    utf8.resize(bytes - 1);
    return utf8;
}

std::wstring FromUtf8(const std::string& text) {
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    if (count <= 0) {
        ADD_FAILURE() << "not UTF-8: " << text;
        return std::wstring();
    }
    std::wstring wide(count, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, &wide[0], count);
    wide.resize(count - 1);
    return wide;
}

// A UTF-8 path with forward slashes, as CTest and Unix name things, in UTF-16 with backslashes.
std::wstring WindowsPath(const std::string& utf8) {
    std::wstring path = FromUtf8(utf8);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

bool WriteWide(const std::wstring& path, const std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// Makes a folder named for this test process. Wine reuses process ids, so one by that name is
// this test's own, left behind by a run that crashed: it goes first.
bool MakeOwnFolder(const std::wstring& folder) {
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RemoveTree(folder);
    }
    return CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

// Keeps the test's TEMP and TMP, gives them back and removes the work folder however the test
// ends.
class TempFolderAndWork {
  public:
    explicit TempFolderAndWork(const std::wstring& work) : work_(work) {
        GetEnvironmentVariableW(L"TEMP", temp_, MAX_PATH);
        GetEnvironmentVariableW(L"TMP", tmp_, MAX_PATH);
    }
    ~TempFolderAndWork() {
        SetEnvironmentVariableW(L"TEMP", temp_[0] ? temp_ : nullptr);
        SetEnvironmentVariableW(L"TMP", tmp_[0] ? tmp_ : nullptr);
        RemoveTree(work_);
    }

  private:
    std::wstring work_;
    WCHAR temp_[MAX_PATH] = L"";
    WCHAR tmp_[MAX_PATH] = L"";
};

// A file or folder name in several scripts, always with Cyrillic and Chinese in it, with the
// characters a command line or a shell could trip over, and letters outside the BMP (surrogate
// pairs in UTF-16, four bytes in UTF-8). It never ends in a dot or a space, which Windows drops.
std::wstring RandomName(std::mt19937& random) {
    static const wchar_t* const kCyrillic[] = {L"\u0414", L"\u043c", L"\u0438", L"\u0442",
                                               L"\u0440", L"\u0439", L"\u0401", L"\u044f"};
    static const wchar_t* const kChinese[] = {L"\u674e",     L"\u96f7", L"\u58f0", L"\u97f3",
                                              L"\U0002000b", L"\u6d88", L"\u606f"};
    static const wchar_t* const kOthers[] = {
        L" ",      L"$",      L"`",      L"'",      L"&",      L";",         L"(",
        L")",      L"!",      L"#",      L"%",      L"~",      L"=",         L"@",
        L"+",      L",",      L"[",      L"]",      L".",      L"a",         L"\u00fc",
        L"\u00df", L"\u03a9", L"\u3042", L"\u30a2", L"\ud55c", L"\U0001f399"};
    auto pick = [&random](const auto& pool) {
        std::uniform_int_distribution<size_t> index(0, std::size(pool) - 1);
        return std::wstring(pool[index(random)]);
    };
    std::wstring name = pick(kCyrillic);
    const int middle = std::uniform_int_distribution<int>(0, 8)(random);
    for (int i = 0; i < middle; ++i) {
        switch (std::uniform_int_distribution<int>(0, 2)(random)) {
            case 0:
                name += pick(kCyrillic);
                break;
            case 1:
                name += pick(kChinese);
                break;
            default:
                name += pick(kOthers);
        }
    }
    return name + pick(kChinese);
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
    ASSERT_TRUE(MakeOwnFolder(folder));
    // The library's copies stay for a day; this folder is the test's own.
    TempFolderAndWork restore(folder);
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
    // Recipients counted but not given: refused, never read.
    MapiMessage noRecipients = {};
    noRecipients.nRecipCount = 1;
    EXPECT_EQ(sendMail(0, 0, &noRecipients, MAPI_DIALOG, 0), static_cast<ULONG>(MAPI_E_FAILURE));
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

    DeleteFileA(log.c_str());
}

// MAPISendMailW with a temporary folder, a voice file and an attachment name in other scripts:
// xdg-email gets the copy's path as it is, in UTF-8, and the copy holds the same bytes.
// KESTRUNE_MAPI_NAMES_SEED=<n> repeats a run's names.
TEST(WineMapi32, WidePathsInAnyScriptReachTheMailProgramUnchanged) {
    const std::string log = EnvironmentText("KESTRUNE_FAKE_MAIL_LOG_WINDOWS");
    const std::string unixLog = EnvironmentText("KESTRUNE_FAKE_MAIL_LOG");
    const std::string library = EnvironmentText("KESTRUNE_WINE_MAPI32");
    ASSERT_FALSE(log.empty() || unixLog.empty() || library.empty()) << "run by CTest";
    HMODULE mapi = LoadLibraryA(library.c_str());
    ASSERT_NE(mapi, nullptr) << library;
    auto sendMail = reinterpret_cast<LPMAPISENDMAILW>(
        reinterpret_cast<void*>(GetProcAddress(mapi, "MAPISendMailW")));
    ASSERT_NE(sendMail, nullptr);

    const std::string seedText = EnvironmentText("KESTRUNE_MAPI_NAMES_SEED");
    const std::uint32_t seed = seedText.empty() ? GetTickCount() ^ GetCurrentProcessId()
                                                : std::strtoul(seedText.c_str(), nullptr, 10);
    SCOPED_TRACE("names seed " + std::to_string(seed) +
                 " (replay: KESTRUNE_MAPI_NAMES_SEED=" + std::to_string(seed) + ")");
    std::mt19937 random(seed);

    // The work folder beside the log, named both ways (Wine's drive Z: is the Linux root), so
    // that the path xdg-email gets can be checked without asking Wine.
    const std::string own = "kestrune-mapi-wide-" + std::to_string(GetCurrentProcessId());
    const std::string unixWork = unixLog.substr(0, unixLog.rfind('/') + 1) + own;
    const std::wstring work = WindowsPath(log.substr(0, log.rfind('/') + 1) + own);
    ASSERT_TRUE(MakeOwnFolder(work));
    TempFolderAndWork restore(work);

    for (int round = 0; round < 3; ++round) {
        const std::wstring tempName = RandomName(random);
        const std::wstring temp = work + L"\\" + tempName + L"\\";
        ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr)) << Utf8(temp);
        SetEnvironmentVariableW(L"TEMP", temp.c_str());
        SetEnvironmentVariableW(L"TMP", temp.c_str());
        const std::wstring voice = temp + RandomName(random) + L".tmp";
        std::vector<BYTE> bytes(1000 + round);
        for (BYTE& b : bytes) {
            b = static_cast<BYTE>(random());
        }
        ASSERT_TRUE(WriteWide(voice, bytes)) << Utf8(voice);
        const std::wstring name = RandomName(random) + L".wav";
        DeleteFileA(log.c_str());

        EXPECT_EQ(SendWide(sendMail, voice, name), static_cast<ULONG>(SUCCESS_SUCCESS))
            << Utf8(voice) << " as " << Utf8(name);

        // One attachment, found by xdg-email under the name it travels by, in a folder of the
        // library's own in the temporary folder: the path's bytes are the name's UTF-8.
        const std::string found = ReadAll(log);
        ASSERT_EQ(std::count(found.begin(), found.end(), '\n'), 1) << found;
        const std::string folder = unixWork + "/" + Utf8(tempName) + "/kestrune-mail-";
        const std::string file = "/" + Utf8(name) + "\n";
        ASSERT_EQ(found.compare(0, 6 + folder.size(), "found " + folder), 0) << found;
        ASSERT_GT(found.size(), 6 + folder.size() + file.size()) << found;
        EXPECT_EQ(found.compare(found.size() - file.size(), file.size(), file), 0) << found;
        const std::string copy = found.substr(6, found.size() - 7);
        EXPECT_EQ(copy.find('/', folder.size()), copy.size() - file.size() + 1)
            << "not straight inside a kestrune-mail- folder: " << copy;
        EXPECT_EQ(ReadFileBytes(WindowsPath("Z:" + copy)), bytes) << copy;
    }
    DeleteFileA(log.c_str());
}

}  // namespace
