// The smallest program the test runner can run: says where Wine keeps its files, then ends.
#include <cstdio>
#include <cstdlib>

int main() {
    const char* prefix = std::getenv("WINEPREFIX");
    std::printf("hello from %s\n", prefix ? prefix : "an unnamed prefix");
    return 0;
}
