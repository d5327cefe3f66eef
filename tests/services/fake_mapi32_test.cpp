// The recording MAPI32.DLL stand-ins themselves: the mail tests check only what these write
// down, so it must be what they were given, through either entry.
#include <windows.h>
#include <gtest/gtest.h>
#include <mapi.h>

#include <map>
#include <string>
#include <vector>

#include "base/mapi_wide.h"
#include "tests/services/mapi_log.h"
#include "tests/support/file_bytes.h"

namespace {

using Record = MapiRecord;

// Built where CMake says; a Linux path under Wine, whose drive Z: is the Linux root.
HMODULE LoadStandIn(const std::string& path) {
    return LoadLibraryA((path[0] == '/' ? "Z:" + path : path).c_str());
}

template <typename Fn>
Fn Entry(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

std::vector<Record> Records(const std::wstring& log) {
    return ReadMapiLog(log);
}

// A log in a folder outside the ANSI code page, named in KESTRUNE_FAKE_MAPI_LOG while it lives.
class WideLog {
  public:
    WideLog() {
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) +
                  L"kestrune-fake-mapi-\u0414\u043c\u0438\u0442\u0440\u0438"
                  L"\u0439 \u674e\u96f7-" +
                  std::to_wstring(GetCurrentProcessId());
        made_ = CreateDirectoryW(folder_.c_str(), nullptr) != FALSE;
        path_ = folder_ + L"\\calls.log";
        SetEnvironmentVariableW(L"KESTRUNE_FAKE_MAPI_LOG", path_.c_str());
    }
    ~WideLog() {
        SetEnvironmentVariableW(L"KESTRUNE_FAKE_MAPI_LOG", nullptr);
        DeleteFileW(path_.c_str());
        if (made_) {
            RemoveDirectoryW(folder_.c_str());
        }
    }
    bool made() const { return made_; }
    std::vector<Record> records() const { return Records(path_); }

  private:
    std::wstring folder_;
    std::wstring path_;
    bool made_ = false;
};

TEST(FakeMapi32, WritesDownBothEntriesTheWideOneInUtf8) {
    HMODULE library = LoadStandIn(KESTRUNE_FAKE_MAPI);
    ASSERT_NE(library, nullptr) << KESTRUNE_FAKE_MAPI;
    auto sendWide = Entry<LPMAPISENDMAILW>(library, "MAPISendMailW");
    auto sendAnsi = Entry<LPMAPISENDMAIL>(library, "MAPISendMail");
    ASSERT_NE(sendWide, nullptr);
    ASSERT_NE(sendAnsi, nullptr);
    WideLog log;
    ASSERT_TRUE(log.made());

    // A path with a letter outside the BMP, a surrogate pair in UTF-16.
    std::wstring path =
        L"C:\\users\\\u0414\u043c\u0438\u0442\u0440\u0438\u0439 \u674e\u96f7"
        L"\\Temp\\Kestrune\\\U0002000B.wav";
    std::wstring name = L"voice-message-Tue_Mar_03_14-05-09_2026.wav";
    MapiFileDescW file = {};
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = &path[0];
    file.lpszFileName = &name[0];
    MapiMessageW message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;
    EXPECT_EQ(sendWide(0, 0, &message, MAPI_DIALOG, 0), static_cast<ULONG>(MAPI_USER_ABORT));

    char ansiPath[] = "C:\\voice.wav";
    MapiFileDesc ansiFile = {};
    ansiFile.lpszPathName = ansiPath;
    MapiMessage ansiMessage = {};
    ansiMessage.nFileCount = 1;
    ansiMessage.lpFiles = &ansiFile;
    EXPECT_EQ(sendAnsi(0, 0, &ansiMessage, 0, 0), static_cast<ULONG>(MAPI_USER_ABORT));

    const std::vector<Record> records = log.records();
    ASSERT_EQ(records.size(), 2u);
    Record wide = records[0];
    EXPECT_EQ(wide["entry"], "MAPISendMailW");
    EXPECT_EQ(wide["file.pathName"],
              u8"C:\\users\\\u0414\u043c\u0438\u0442\u0440\u0438\u0439 "
              u8"\u674e\u96f7\\Temp\\Kestrune\\\U0002000B.wav");
    EXPECT_EQ(wide["file.fileName"], "voice-message-Tue_Mar_03_14-05-09_2026.wav");
    EXPECT_EQ(wide["file.nPosition"], "4294967295");
    EXPECT_EQ(wide["flags"], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(wide["message.nFileCount"], "1");
    EXPECT_EQ(wide["message.nRecipCount"], "0");
    Record ansi = records[1];
    EXPECT_EQ(ansi["entry"], "MAPISendMail");
    EXPECT_EQ(ansi["file.pathName"], "C:\\voice.wav");
    EXPECT_EQ(ansi.count("file.fileName"), 0u) << "no name was given";
    EXPECT_EQ(ansi["file.nPosition"], "0");
    EXPECT_EQ(ansi["flags"], "0");
}

// As MAPI32.DLL before Windows 8: the ANSI entry alone, still writing down its calls.
TEST(FakeMapi32, TheAnsiOnlyBuildHasNoWideEntry) {
    HMODULE library = LoadStandIn(KESTRUNE_ANSI_ONLY_MAPI);
    ASSERT_NE(library, nullptr) << KESTRUNE_ANSI_ONLY_MAPI;
    EXPECT_EQ(GetProcAddress(library, "MAPISendMailW"), nullptr);
    auto sendAnsi = Entry<LPMAPISENDMAIL>(library, "MAPISendMail");
    ASSERT_NE(sendAnsi, nullptr);
    WideLog log;
    ASSERT_TRUE(log.made());
    MapiMessage message = {};
    EXPECT_EQ(sendAnsi(0, 0, &message, MAPI_DIALOG, 0), static_cast<ULONG>(MAPI_USER_ABORT));
    const std::vector<Record> records = log.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Record(records[0])["entry"], "MAPISendMail");
    EXPECT_EQ(Record(records[0])["message.nFileCount"], "0");
}

}  // namespace
