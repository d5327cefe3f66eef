// The scan for recordings left behind, over a storm of damaged and foreign files: it never
// crashes, offers only what is ours, and never changes a file that is not.
#include "voice/voice_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/voice/voice_test_files.h"
#include "tests/support/utf8.h"
#include "voice/voice_file.h"

namespace {

constexpr int kRounds = 12;
constexpr int kFilesPerRound = 24;

enum class Kind { kOurs, kForeign, kHeld };

struct Planted {
    std::string path;
    Kind kind;
    std::vector<BYTE> bytes;
    FILETIME written;
};

bool IsSizeByte(size_t at) {
    return (at >= 4 && at < 8) || (at >= 48 && at < 52) || at >= 56;
}

void Write(const std::string& path, const std::vector<BYTE>& bytes, HANDLE* kept = nullptr) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    if (!bytes.empty()) {
        ASSERT_TRUE(
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    CloseHandle(file);
    if (kept) {
        // As a running Kestrune holds its voice file.
        *kept = CreateFileA(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(*kept, INVALID_HANDLE_VALUE);
    }
}

FILETIME WrittenAt(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class Storm {
  public:
    explicit Storm(std::uint32_t seed) : rng_(seed) {}

    std::vector<BYTE> Random(size_t count) {
        std::vector<BYTE> bytes(count);
        for (BYTE& byte : bytes) {
            byte = static_cast<BYTE>(rng_());
        }
        return bytes;
    }
    size_t Below(size_t limit) { return rng_() % limit; }

    // Ours: the header with any sizes (1.02's placeholders, true ones, garbage), then frames
    // and maybe a torn one, cut anywhere.
    std::vector<BYTE> Ours(size_t length) {
        BYTE header[kHeaderBytes];
        BuildVoiceHeader(header);
        std::vector<BYTE> bytes(header, header + kHeaderBytes);
        for (size_t at = 0; at < kHeaderBytes; ++at) {
            if (IsSizeByte(at) && Below(2) == 0) {
                bytes[at] = static_cast<BYTE>(rng_());
            }
        }
        std::vector<BYTE> data = Random(length > kHeaderBytes ? length - kHeaderBytes : 0);
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.resize(length);
        return bytes;
    }

    // Not ours: another program's WAV, random bytes, or ours with one layout byte changed.
    std::vector<BYTE> Foreign() {
        std::vector<BYTE> bytes;
        switch (Below(3)) {
            case 0: {
                const BYTE pcm[] = {'R', 'I', 'F', 'F', 36,  1,   0,   0,  'W', 'A', 'V',
                                    'E', 'f', 'm', 't', ' ', 16,  0,   0,  0,   1,   0,
                                    1,   0,   64,  31,  0,   0,   128, 62, 0,   0,   2,
                                    0,   16,  0,   'd', 'a', 't', 'a', 0,  1,   0,   0};
                bytes.assign(pcm, pcm + sizeof pcm);
                std::vector<BYTE> data = Random(Below(400));
                bytes.insert(bytes.end(), data.begin(), data.end());
                break;
            }
            case 1:
                bytes = Random(1 + Below(400));
                break;
            default:
                bytes = Ours(1 + Below(kHeaderBytes + 5 * kFrameBytes));
                break;
        }
        // Unlike ours at one byte of the layout that the file holds.
        BYTE header[kHeaderBytes];
        BuildVoiceHeader(header);
        std::vector<size_t> layout;
        for (size_t at = 0; at < bytes.size() && at < kHeaderBytes; ++at) {
            if (!IsSizeByte(at)) {
                layout.push_back(at);
            }
        }
        const size_t at = layout[Below(layout.size())];
        if (bytes[at] == header[at]) {
            bytes[at] = static_cast<BYTE>(header[at] ^ (1 + Below(255)));
        }
        return bytes;
    }

  private:
    std::mt19937 rng_;
};

TEST(LeftBehindScan, OffersOnlyOursRepairedAndNeverChangesAnythingElse) {
    const std::string seedText = EnvironmentText("KESTRUNE_LEFT_BEHIND_SEED");
    const std::uint32_t firstSeed =
        seedText.empty() ? 1 : static_cast<std::uint32_t>(std::strtoul(seedText.c_str(), 0, 10));
    const int rounds = seedText.empty() ? kRounds : 1;
    for (std::uint32_t seed = firstSeed; seed < firstSeed + rounds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " (replay: KESTRUNE_LEFT_BEHIND_SEED)");
        Storm storm(seed);
        TempFolder folder;
        std::vector<Planted> planted;
        std::vector<HANDLE> held;
        for (int index = 0; index < kFilesPerRound; ++index) {
            Planted file;
            file.path = folder.File(("kes" + std::to_string(index) + ".tmp").c_str());
            const size_t pick = storm.Below(4);
            file.kind = pick < 2 ? Kind::kOurs : pick == 2 ? Kind::kForeign : Kind::kHeld;
            // The first round cuts ours at every length from nothing to past three frames.
            const size_t length = seed == firstSeed ? static_cast<size_t>(index) * 11
                                                    : storm.Below(kHeaderBytes + 8 * kFrameBytes);
            file.bytes = file.kind == Kind::kForeign ? storm.Foreign() : storm.Ours(length);
            HANDLE keeper = INVALID_HANDLE_VALUE;
            Write(file.path, file.bytes, file.kind == Kind::kHeld ? &keeper : nullptr);
            if (keeper != INVALID_HANDLE_VALUE) {
                held.push_back(keeper);
            }
            file.written = WrittenAt(file.path);
            planted.push_back(file);
        }
        const std::string own = folder.File("kes0.tmp");

        std::vector<LeftBehind> found(kFilesPerRound);
        found.resize(FindLeftBehind(Wide(folder.Path() + "\\").c_str(), Wide(own).c_str(),
                                    found.data(), kFilesPerRound));
        for (LeftBehind& file : found) {
            CloseHandle(file.file);
        }

        size_t expectedFound = 0;
        for (size_t index = 0; index < planted.size(); ++index) {
            const Planted& file = planted[index];
            SCOPED_TRACE(file.path + " of " + std::to_string(file.bytes.size()) + " bytes");
            const bool offered = std::any_of(found.begin(), found.end(), [&](const LeftBehind& f) {
                return file.path == Utf8(f.path);
            });
            const bool untouched = index == 0 || file.kind != Kind::kOurs;
            if (untouched) {
                EXPECT_FALSE(offered);
                EXPECT_EQ(ReadFileBytes(file.path), file.bytes);
                const FILETIME written = WrittenAt(file.path);
                EXPECT_EQ(CompareFileTime(&file.written, &written), 0);
            } else if (file.bytes.size() < kHeaderBytes + kFrameBytes) {
                EXPECT_FALSE(offered);
                EXPECT_EQ(GetFileAttributesA(file.path.c_str()), INVALID_FILE_ATTRIBUTES);
            } else {
                ++expectedFound;
                EXPECT_TRUE(offered);
                const std::vector<BYTE> now = ReadFileBytes(file.path);
                const DWORD data = static_cast<DWORD>((file.bytes.size() - 60) / 65 * 65);
                ASSERT_EQ(now.size(), kHeaderBytes + data);
                EXPECT_EQ(ValueAt(now, 4), data + 52);
                EXPECT_EQ(ValueAt(now, 48), SampleCount(data));
                EXPECT_EQ(ValueAt(now, 56), data);
                for (size_t at = 0; at < now.size(); ++at) {
                    const BYTE before =
                        at < kHeaderBytes && IsSizeByte(at) ? now[at] : file.bytes[at];
                    ASSERT_EQ(now[at], before) << "byte " << at;
                }
                const FILETIME written = WrittenAt(file.path);
                EXPECT_EQ(CompareFileTime(&file.written, &written), 0)
                    << "the repair kept its date";
            }
        }
        EXPECT_EQ(found.size(), expectedFound);
        for (size_t at = 1; at < found.size(); ++at) {
            EXPECT_GE(CompareFileTime(&found[at - 1].written, &found[at].written), 0)
                << "newest first";
        }
        for (HANDLE keeper : held) {
            CloseHandle(keeper);
        }
    }
}

}  // namespace
