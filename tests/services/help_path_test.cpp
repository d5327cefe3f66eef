#include "services/help_path.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/support/utf8.h"

namespace {

struct HelpPath {
    bool found;
    std::string path;
};

HelpPath For(const std::string& exePath, const wchar_t* language = L"") {
    WCHAR path[MAX_PATH];
    wmemset(path, L'#', MAX_PATH);
    const bool found = HelpPathFromExePath(Wide(exePath).c_str(), language, path);
    return {found, found && wmemchr(path, L'\0', MAX_PATH) ? Utf8(path) : std::string()};
}

TEST(HelpPath, InTheLanguagesFolder) {
    EXPECT_EQ(For("D:\\Дмитрий\\rec\\prog.exe", L"pt-BR").path,
              "D:\\Дмитрий\\rec\\help\\pt-BR\\help.htm");
    // The language's folder and its backslash: six more characters than English needs.
    const std::string folder = "C:\\" + std::string(236, 'f');
    EXPECT_EQ(For(folder + "\\prog.exe", L"zh-CN").path.size(), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_FALSE(For(folder + "f\\prog.exe", L"zh-CN").found);
}

TEST(HelpPath, BesideTheExecutable) {
    const HelpPath help = For("D:\\tools\\rec\\prog.exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, "D:\\tools\\rec\\help\\help.htm");
}

TEST(HelpPath, InTheRootOfADrive) {
    const HelpPath help = For("C:\\prog.exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, "C:\\help\\help.htm");
}

TEST(HelpPath, OnANetworkShare) {
    const HelpPath help = For("\\\\server\\share\\Kestrune.exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, "\\\\server\\share\\help\\help.htm");
}

TEST(HelpPath, TheLastBackslashEndsTheFolder) {
    const HelpPath help = For("C:\\a\\b.dir\\c\\prog.exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, "C:\\a\\b.dir\\c\\help\\help.htm");
}

TEST(HelpPath, NoBackslashMeansNoHelp) {
    EXPECT_FALSE(For("prog.exe").found);
    EXPECT_FALSE(For("C:prog.exe").found);
    EXPECT_FALSE(For("").found);
}

// "\help\help.htm" adds 14 characters to the folder; with the NUL the page's path needs 15 more
// than the folder, so a folder of 245 characters is the longest that fits in 260.
TEST(HelpPath, ExactlyFittingFolder) {
    const std::string folder = "C:\\" + std::string(242, 'f');
    ASSERT_EQ(folder.size(), 245u);
    const HelpPath help = For(folder + "\\prog.exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, folder + "\\help\\help.htm");
    EXPECT_EQ(help.path.size(), static_cast<size_t>(MAX_PATH - 1));
}

TEST(HelpPath, AFolderOneCharacterTooLongMeansNoHelp) {
    const std::string folder = "C:\\" + std::string(243, 'f');
    EXPECT_FALSE(For(folder + "\\prog.exe").found);
    EXPECT_FALSE(For(folder + std::string(300, 'g') + "\\prog.exe").found);
}

TEST(HelpPath, ALongExecutableNameInAShortFolderStillFits) {
    const HelpPath help = For("C:\\k\\" + std::string(250, 'n') + ".exe");
    EXPECT_TRUE(help.found);
    EXPECT_EQ(help.path, "C:\\k\\help\\help.htm");
}

}  // namespace
