#include "services/help_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct HelpPath {
    bool found;
    std::string path;
};

HelpPath For(const std::string& exePath) {
    char path[MAX_PATH];
    memset(path, '#', sizeof path);
    const bool found = HelpPathFromExePath(exePath.c_str(), path);
    return {found, found ? std::string(path, strnlen(path, sizeof path)) : std::string()};
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
