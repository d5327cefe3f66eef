// Send for a user whose temporary folder is named in another script. Built twice, each beside a
// stand-in MAPI32.DLL that writes down its call: one with MAPISendMailW (Windows 8 and later),
// which must receive the path as it is; one with MAPISendMail alone (Windows 7), which must get
// a path the ANSI code page holds that names the same file, never one with '?'.
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "services/mail.h"
#include "tests/services/mapi_log.h"
#include "tests/support/worker_threads.h"
#include "tests/support/file_bytes.h"
#include "tests/support/gsm_sound.h"
#include "tests/support/utf8.h"
#include "voice/voice_file.h"

namespace {

constexpr DWORD kWaitMs = 5000;

using Record = MapiRecord;

TEST(MailWide, TheAttachmentsPathReachesTheMailProgramWhole) {
    WCHAR base[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, base), 0u);
    // Wine gives process ids again: a name an earlier run left behind is passed over.
    std::wstring folder;
    for (DWORD attempt = GetTickCount(); folder.empty(); ++attempt) {
        const std::wstring name =
            std::wstring(base) + L"kestrune-wide-" + std::to_wstring(attempt) + L" Дмитрий 李雷\\";
        if (CreateDirectoryW(name.c_str(), nullptr)) {
            folder = name;
        } else {
            ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        }
    }
    const std::wstring log = folder + L"mapi.log";
    const std::wstring calls = L"kestrune-wide-calls-" + std::to_wstring(GetCurrentProcessId());
    HANDLE called = CreateSemaphoreW(nullptr, 0, 8, calls.c_str());
    ASSERT_NE(called, nullptr);
    SetEnvironmentVariableW(L"KESTRUNE_FAKE_MAPI_LOG", log.c_str());
    SetEnvironmentVariableW(L"KESTRUNE_FAKE_MAPI_CALLS", calls.c_str());
    WCHAR savedTmp[MAX_PATH] = L"";
    WCHAR savedTemp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());

    // A recording of real sound, as the recorder leaves it.
    static AppState state = {};
    const std::wstring voicePath = folder + L"kes1.tmp";
    lstrcpynW(state.voicePath, voicePath.c_str(), MAX_PATH);
    const std::vector<BYTE> gsm = EncodeGsm(SinePcm(12000, 2.0));
    ASSERT_FALSE(gsm.empty());
    BYTE header[kHeaderBytes];
    BuildVoiceHeader(header);
    std::vector<BYTE> voice(header, header + kHeaderBytes);
    voice.insert(voice.end(), gsm.begin(), gsm.end());
    HANDLE file = CreateFileW(voicePath.c_str(), GENERIC_WRITE | GENERIC_READ, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, voice.data(), static_cast<DWORD>(voice.size()), &written, nullptr);
    CompleteVoiceHeader(file, static_cast<DWORD>(gsm.size()));
    CloseHandle(file);
    state.dataBytes = static_cast<DWORD>(gsm.size());

    const std::set<DWORD> threadsBefore = ThreadIdsNow();
    StartMailWorker(&state);
    ASSERT_EQ(WaitForSingleObject(called, kWaitMs), WAIT_OBJECT_0) << "no mail call";
    EXPECT_NE(WaitForThreadsStartedSince(threadsBefore, kWaitMs), -1) << "the worker did not end";

    const std::vector<Record> records = ReadMapiLog(log);
    ASSERT_EQ(records.size(), 1u);
    Record call = records[0];
    const std::string snapshots = Utf8(folder.c_str()) + "Kestrune\\";
    std::wstring attached;
#ifdef KESTRUNE_ANSI_ONLY
    EXPECT_EQ(call["entry"], "MAPISendMail");
    const std::string path = call["file.pathName"];
    EXPECT_EQ(path.find('?'), std::string::npos) << path;
    // The ANSI path the program chose, read back through the code page it was made for.
    WCHAR wide[MAX_PATH] = L"";
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH), 0);
    WCHAR full[MAX_PATH] = L"";
    ASSERT_GT(GetLongPathNameW(wide, full, MAX_PATH), 0u) << path;
    attached = full;
#else
    EXPECT_EQ(call["entry"], "MAPISendMailW");
    attached = Wide(call["file.pathName"]);
#endif
    // The copy made at the Send, in the folder of the other script, under the name it travels by.
    EXPECT_EQ(Utf8(attached.c_str()).rfind(snapshots + "voice-message-", 0), 0u)
        << Utf8(attached.c_str());
    EXPECT_EQ(Utf8(attached.c_str()), snapshots + call["file.fileName"]);
    const std::vector<BYTE> bytes = ReadFileBytes(attached);
    EXPECT_TRUE(bytes.size() > 12 && std::string(bytes.begin(), bytes.begin() + 4) == "RIFF" &&
                std::string(bytes.begin() + 8, bytes.begin() + 12) == "WAVE");

    DeleteFileW(attached.c_str());
    RemoveDirectoryW((folder + L"Kestrune").c_str());
    DeleteFileW(voicePath.c_str());
    DeleteFileW(log.c_str());
    RemoveDirectoryW(folder.c_str());
    CloseHandle(called);
    SetEnvironmentVariableW(L"TMP", savedTmp[0] ? savedTmp : nullptr);
    SetEnvironmentVariableW(L"TEMP", savedTemp[0] ? savedTemp : nullptr);
}

}  // namespace
