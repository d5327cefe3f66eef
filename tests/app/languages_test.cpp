// The program in every language it speaks: each language's menu and string table hold every
// text the English ones do, translated; and the window, in the language the resource loader
// picks for the user (run under each language's LANG by languages_test.sh), shows each of its
// texts whole.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "base/text.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "res/texts.h"
#include "tests/support/environment.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/utf8.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct Language {
    LANGID id;
    const char* helpFolder;
    // Words that are the same in English and this language, so may stand as they are.
    std::set<std::string> sameAsEnglish;
};

const std::vector<Language> kLanguages = {
    {kEnglish, "", {}},
    {MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL), "de", {"Position"}},
    {MAKELANGID(LANG_FRENCH, SUBLANG_NEUTRAL), "fr", {"&Microphone", "Pause", "Position"}},
    {MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL), "es", {"Error"}},
    {MAKELANGID(LANG_ITALIAN, SUBLANG_NEUTRAL), "it", {"&File"}},
    {MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), "pt-BR", {}},
    {MAKELANGID(LANG_DUTCH, SUBLANG_NEUTRAL), "nl", {"&Help"}},
    {MAKELANGID(LANG_POLISH, SUBLANG_NEUTRAL), "pl", {}},
    {MAKELANGID(LANG_RUSSIAN, SUBLANG_NEUTRAL), "ru", {}},
    {MAKELANGID(LANG_JAPANESE, SUBLANG_NEUTRAL), "ja", {}},
    {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), "zh-CN", {}},
};

// The texts of string table block `block` in exactly that language (no fallback); a missing
// string is empty.
std::vector<std::wstring> StringBlock(int block, LANGID language) {
    std::vector<std::wstring> strings(16);
    HRSRC found = FindResourceExW(nullptr, MAKEINTRESOURCEW(2 + 4) /* RT_STRING */,
                                  MAKEINTRESOURCEW(block), language);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const auto* at = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    for (int i = 0; at != nullptr && i < 16; ++i) {
        const WORD length = *at++;
        strings[i].assign(at, length);
        at += length;
    }
    return strings;
}

std::wstring StringIn(UINT id, LANGID language) {
    return StringBlock(static_cast<int>(id / 16 + 1), language)[id % 16];
}

struct MenuItem {
    std::string path;  // "Action > Play", by the English texts, for messages
    UINT id;           // 0 for a submenu or a separator
    std::wstring text;
};

void CollectMenu(HMENU menu, const std::string& path, std::vector<MenuItem>* items) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        WCHAR text[256] = L"";
        GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, position);
        const UINT id = sub ? 0 : GetMenuItemID(menu, position);
        const std::string here = path + "/" + std::to_string(position);
        items->push_back({here, id, text});
        if (sub) {
            CollectMenu(sub, here, items);
        }
    }
}

// The menu of exactly that language, item by item in order.
std::vector<MenuItem> MenuIn(LANGID language) {
    std::vector<MenuItem> items;
    HRSRC found = FindResourceExW(nullptr, MAKEINTRESOURCEW(4) /* RT_MENU */,
                                  MAKEINTRESOURCEW(IDR_MAIN_MENU), language);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    HMENU menu = loaded ? LoadMenuIndirectW(LockResource(loaded)) : nullptr;
    if (menu != nullptr) {
        CollectMenu(menu, "", &items);
        DestroyMenu(menu);
    }
    return items;
}

// The letter after the mnemonic's '&', lowered; 0 when there is none.
WCHAR Mnemonic(const std::wstring& text) {
    const size_t at = text.find(L'&');
    return at != std::wstring::npos && at + 1 < text.size() ? std::towlower(text[at + 1]) : 0;
}

std::wstring KeyName(const std::wstring& text) {
    const size_t tab = text.find(L'\t');
    return tab == std::wstring::npos ? L"" : text.substr(tab + 1);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::set<LANGID>*>(param)->insert(language);
    return TRUE;
}

TEST(Languages, EveryLanguageHoldsEveryTextTranslated) {
    std::set<LANGID> menus;
    EnumResourceLanguagesW(nullptr, MAKEINTRESOURCEW(4), MAKEINTRESOURCEW(IDR_MAIN_MENU),
                           CollectLanguage, reinterpret_cast<LONG_PTR>(&menus));
    std::set<LANGID> expected;
    for (const Language& language : kLanguages) {
        expected.insert(language.id);
    }
    EXPECT_EQ(menus, expected) << "the menu's languages";

    const std::vector<MenuItem> englishMenu = MenuIn(kEnglish);
    ASSERT_FALSE(englishMenu.empty());
    for (const Language& language : kLanguages) {
        SCOPED_TRACE("language " + std::to_string(language.id));
        // The string table: every text the English one has, in the language's own words.
        for (UINT id = IDS_FIRST; id <= IDS_LAST; ++id) {
            const std::wstring english = StringIn(id, kEnglish);
            const std::wstring text = StringIn(id, language.id);
            if (id == IDS_HELP_FOLDER) {
                EXPECT_EQ(Utf8(text.c_str()), language.helpFolder);
                continue;
            }
            if (english.empty()) {
                EXPECT_TRUE(text.empty()) << "text " << id << " only in a translation";
                continue;
            }
            EXPECT_FALSE(text.empty()) << "text " << id << " missing";
            if (language.id != kEnglish && text == english) {
                EXPECT_EQ(language.sameAsEnglish.count(Utf8(text.c_str())), 1u)
                    << "text " << id << " left in English: " << Utf8(text.c_str());
            }
            // The parts the program fills in stay, in whatever order the language needs.
            for (const wchar_t* part : {L"%1", L"%2"}) {
                EXPECT_EQ(english.find(part) != std::wstring::npos,
                          text.find(part) != std::wstring::npos)
                    << "text " << id << ": " << Utf8(part);
            }
            EXPECT_EQ(english.find(L"\n\n") != std::wstring::npos,
                      text.find(L"\n\n") != std::wstring::npos)
                << "text " << id << ": its paragraphs";
        }
        // The menu: the same items, each with a text, the same keys shown, and within each menu
        // a mnemonic letter of its own.
        const std::vector<MenuItem> menu = MenuIn(language.id);
        ASSERT_EQ(menu.size(), englishMenu.size());
        std::map<std::string, std::set<WCHAR>> mnemonics;
        for (size_t i = 0; i < menu.size(); ++i) {
            const MenuItem& item = menu[i];
            const MenuItem& english = englishMenu[i];
            SCOPED_TRACE("menu item " + english.path + " " + Utf8(english.text.c_str()));
            EXPECT_EQ(item.path, english.path);
            EXPECT_EQ(item.id, english.id);
            if (english.text.empty()) {
                continue;  // a separator
            }
            EXPECT_FALSE(item.text.empty());
            if (language.id != kEnglish && item.text == english.text) {
                EXPECT_EQ(language.sameAsEnglish.count(Utf8(item.text.c_str())), 1u)
                    << "left in English";
            }
            EXPECT_EQ(KeyName(english.text).empty(), KeyName(item.text).empty());
            const WCHAR letter = Mnemonic(item.text);
            EXPECT_NE(letter, 0) << "no mnemonic";
            const std::string parent = item.path.substr(0, item.path.rfind('/'));
            EXPECT_TRUE(mnemonics[parent].insert(letter).second) << "a mnemonic taken twice";
        }
    }
}

// The texts of the language the loader picked, each beside the control that shows it.
class WindowTexts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_instance = GetModuleHandleW(nullptr);
        InitCommonControls();
        RegisterBtnBarClass();
        RegisterMyButtonClass();
    }

    void SetUp() override {
        g_appState = &state_;
        dialog_ =
            CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
        ASSERT_NE(dialog_, nullptr);
        PumpMessages();
    }

    void TearDown() override {
        if (dialog_ != nullptr) {
            DestroyWindow(dialog_);
        }
        PumpMessages();
        DeleteFileW(state_.voicePath);
    }

    // How many pixels wider than its control's text area `text` is, in the control's font;
    // 0 or less when it fits.
    int Overflow(int control, const std::wstring& text) const {
        HWND window = GetDlgItem(dialog_, control);
        RECT area = {};
        GetClientRect(window, &area);
        HDC dc = GetDC(window);
        HGDIOBJ previous =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
        RECT needed = {0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, previous);
        ReleaseDC(window, dc);
        return (needed.right - needed.left) - (area.right - area.left);
    }

    AppState state_ = {};
    ScriptedMessageBox boxes_;
    HWND dialog_ = nullptr;
};

TEST_F(WindowTexts, EveryTextFitsItsControl) {
    const LANGID language = GetThreadUILanguage();
    const std::string expected = EnvironmentText("KESTRUNE_EXPECT_LANGUAGE");
    if (!expected.empty()) {
        // The loader's choice follows the user's language: the run is in the language it names.
        WCHAR shown[64] = L"";
        LoadStringW(g_instance, IDS_HELP_FOLDER, shown, 64);
        EXPECT_EQ(Utf8(shown), expected == "en" ? "" : expected);
    }
    SCOPED_TRACE("UI language " + std::to_string(language));
    WCHAR text[kTextChars] = L"";
    // Every status text, those with a time in them at their widest.
    for (UINT id : {IDS_STATUS_RECORDING, IDS_STATUS_RECORDING_PAUSED, IDS_STATUS_NO_SOUND,
                    IDS_STATUS_PLAYING, IDS_STATUS_PLAYING_PAUSED, IDS_STATUS_MIC_STOPPED,
                    IDS_STATUS_DISK_ALMOST_FULL}) {
        ASSERT_GT(LoadStringW(g_instance, id, text, kTextChars), 0);
        std::wstring status = text;
        const size_t part = status.find(L"%1");
        if (part != std::wstring::npos) {
            status.replace(part, 2, L"0:29");
        }
        EXPECT_LE(Overflow(IDC_STATUS, status), 0) << Utf8(status.c_str());
    }
    ASSERT_GT(LoadStringW(g_instance, IDS_INPUT_LEVEL, text, kTextChars), 0);
    EXPECT_LE(Overflow(IDC_LEVEL_LABEL, text), 0) << Utf8(text);
    WCHAR shown[kTextChars] = L"";
    GetDlgItemTextW(dialog_, IDC_LEVEL_LABEL, shown, kTextChars);
    EXPECT_EQ(std::wstring(shown), std::wstring(text));
    // The meter still has room beside its label.
    RECT meter = {};
    GetClientRect(GetDlgItem(dialog_, IDC_LEVEL_METER), &meter);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_GE(meter.right, MulDiv(60, dpi, 96));
    // The readouts at their widest.
    EXPECT_LE(Overflow(IDC_TIME_READOUT, L"59:59"), 0);
    EXPECT_LE(Overflow(IDC_SIZE_READOUT, L"1023 K"), 0);
}

}  // namespace
