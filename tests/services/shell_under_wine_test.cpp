// The home page through the real shell: under Wine it ends in the desktop's opener, which a
// script first on PATH stands in for.
#include "services/shell_links.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include "tests/support/environment.h"

namespace {

// The opener runs as a process of its own; give it a few seconds to write its line.
std::string WaitForOpenedLine(const std::string& log) {
    for (int i = 0; i < 200; ++i) {
        std::ifstream in(log);
        std::string line;
        if (std::getline(in, line)) {
            return line;
        }
        Sleep(50);
    }
    return std::string();
}

TEST(ShellUnderWine, HomePageReachesTheDesktopsBrowser) {
    const std::string log = EnvironmentText("KESTRUNE_FAKE_SHELL_LOG_WINDOWS");
    ASSERT_FALSE(log.empty()) << "run by CTest, which names the opener's log";
    DeleteFileA(log.c_str());

    AppState state = {};
    OpenHomePage(&state);

    const std::string opened = WaitForOpenedLine(log);
    // Wine's browser launcher adds the root's slash.
    EXPECT_TRUE(opened == "https://kestrune.net" || opened == "https://kestrune.net/") << opened;
    DeleteFileA(log.c_str());
}

}  // namespace
