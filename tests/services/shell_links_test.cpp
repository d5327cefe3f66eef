#include "services/shell_links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/message_box.h"
#include "res/resource.h"
#include "tests/support/scripted_shell.h"
#include "tests/support/utf8.h"

namespace {

struct BoxCall {
    HWND owner;
    std::string text, caption;
    UINT type;
};

std::vector<BoxCall> g_boxCalls;

// The user closes the box with its one button at once.
int WINAPI ScriptedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    EXPECT_NE(text, nullptr);
    EXPECT_NE(caption, nullptr) << "a null caption would read \"Error\"";
    g_boxCalls.push_back({owner, Utf8(text), Utf8(caption), type});
    return IDOK;
}

class ShellLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        savedShell_ = g_shellExecute;
        savedBox_ = g_messageBox;
        savedMainWindow_ = g_mainWindow;
        g_shellExecute = RecordShellCall;
        g_messageBox = ScriptedMessageBox;
        g_shellCalls.clear();
        g_boxCalls.clear();
    }
    void TearDown() override {
        g_shellExecute = savedShell_;
        g_messageBox = savedBox_;
        g_mainWindow = savedMainWindow_;
    }

    // Only the handle values matter to the shell here; nothing is drawn.
    const HWND mainWindow_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x10e4));
    const HWND otherWindow_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x20a8));

  private:
    ShellExecuteFn savedShell_ = nullptr;
    MessageBoxFn savedBox_ = nullptr;
    HWND savedMainWindow_ = nullptr;
};

TEST_F(ShellLinks, HelpOpensThePageBesideTheExecutable) {
    char exePath[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, exePath, sizeof exePath), 0u);
    std::string expected = exePath;
    expected = expected.substr(0, expected.rfind('\\')) + "\\help\\help.htm";

    g_mainWindow = mainWindow_;
    OpenHelp();

    ASSERT_EQ(g_shellCalls.size(), 1u);
    const ShellCall& call = g_shellCalls[0];
    EXPECT_EQ(call.owner, mainWindow_);
    EXPECT_EQ(call.verb, "open");
    EXPECT_EQ(call.file, expected);
    EXPECT_FALSE(call.nullParameters);
    EXPECT_EQ(call.parameters, "");
    EXPECT_FALSE(call.nullDirectory);
    EXPECT_EQ(call.directory, "");
    EXPECT_EQ(call.show, SW_SHOWNORMAL);
    EXPECT_TRUE(g_boxCalls.empty()) << "Help reports nothing of its own";
}

TEST_F(ShellLinks, HelpAgainOpensThePageAgain) {
    g_mainWindow = mainWindow_;
    OpenHelp();
    OpenHelp();
    ASSERT_EQ(g_shellCalls.size(), 2u);
    EXPECT_EQ(g_shellCalls[0].file, g_shellCalls[1].file);
}

TEST_F(ShellLinks, HomePageOpensTheSiteRootOwnedByTheDialog) {
    AppState state = {};
    state.dialog = otherWindow_;
    g_mainWindow = mainWindow_;

    OpenHomePage(&state);

    ASSERT_EQ(g_shellCalls.size(), 1u);
    const ShellCall& call = g_shellCalls[0];
    EXPECT_EQ(call.owner, otherWindow_) << "the owner is the record's dialog";
    EXPECT_EQ(call.verb, "open");
    EXPECT_EQ(call.file, KESTRUNE_SITE);
    EXPECT_FALSE(call.nullParameters);
    EXPECT_EQ(call.parameters, "");
    EXPECT_FALSE(call.nullDirectory);
    EXPECT_EQ(call.directory, "");
    EXPECT_EQ(call.show, SW_SHOWNORMAL);
    EXPECT_TRUE(g_boxCalls.empty());
}

// The caption names the product page; a click opens the root of the same site.
TEST_F(ShellLinks, HomePageIsTheRootNotTheCaptionsPage) {
    AppState state = {};
    OpenHomePage(&state);
    ASSERT_EQ(g_shellCalls.size(), 1u);
    const std::string opened = g_shellCalls[0].file;
    ASSERT_EQ(opened.rfind("https://", 0), 0u) << opened;
    EXPECT_EQ(opened.find('/', 8), std::string::npos) << "no path after the host: " << opened;
    EXPECT_NE(opened, KESTRUNE_PRODUCT_PAGE);
    EXPECT_EQ(std::string(KESTRUNE_PRODUCT_PAGE), opened + "/kestrune.html");
}

TEST_F(ShellLinks, AboutShowsNameVersionCreditAndLicenceWithoutOwner) {
    g_mainWindow = mainWindow_;
    ShowAbout();

    ASSERT_EQ(g_boxCalls.size(), 1u);
    const BoxCall& box = g_boxCalls[0];
    EXPECT_EQ(box.owner, nullptr) << "an owned box would disable the main window";
    EXPECT_EQ(box.caption, "About Kestrune");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONINFORMATION | MB_OK));
    const size_t lineFeed = box.text.find('\n');
    ASSERT_NE(lineFeed, std::string::npos) << box.text;
    EXPECT_EQ(box.text.substr(0, lineFeed), "Kestrune 1.03");
    const size_t secondLineFeed = box.text.find('\n', lineFeed + 1);
    ASSERT_NE(secondLineFeed, std::string::npos) << box.text;
    const std::string credit = box.text.substr(lineFeed + 1, secondLineFeed - lineFeed - 1);
    EXPECT_NE(credit.find("kestrune.net"), std::string::npos) << credit;
    EXPECT_EQ(box.text.substr(secondLineFeed + 1), "MIT licence") << "three lines only";
    EXPECT_TRUE(g_shellCalls.empty());
}

TEST_F(ShellLinks, AboutAgainShowsASecondBox) {
    ShowAbout();
    ShowAbout();
    ASSERT_EQ(g_boxCalls.size(), 2u);
    EXPECT_EQ(g_boxCalls[0].text, g_boxCalls[1].text);
}

}  // namespace
