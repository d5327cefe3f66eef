#include "voice/voice_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "tests/voice/voice_test_files.h"

namespace {

// RIFF/WAVE, "fmt " of 20 bytes holding GSM 6.10 at 8000 Hz mono, "fact", "data", with the
// sizes of no data that a new file carries.
// clang-format off
const std::vector<BYTE> kNewHeader = {
    'R', 'I', 'F', 'F',  52, 0, 0, 0,  'W', 'A', 'V', 'E',  'f', 'm', 't', ' ',
    20, 0, 0, 0,
    0x31, 0x00,  1, 0,  0x40, 0x1F, 0, 0,  0x59, 0x06, 0, 0,  65, 0,  0, 0,  2, 0,  0x40, 0x01,
    'f', 'a', 'c', 't',  4, 0, 0, 0,  0, 0, 0, 0,  'd', 'a', 't', 'a',  0, 0, 0, 0};
// clang-format on

// The new header with the three size fields filled in.
std::vector<BYTE> CompletedHeader(DWORD riffSize, DWORD samples, DWORD dataSize) {
    std::vector<BYTE> header = kNewHeader;
    const std::pair<size_t, DWORD> fields[] = {{4, riffSize}, {48, samples}, {56, dataSize}};
    for (const auto& field : fields) {
        for (int i = 0; i < 4; ++i) {
            header[field.first + i] = static_cast<BYTE>(field.second >> (8 * i));
        }
    }
    return header;
}

// Each write to the voice file: where it started and how many bytes it asked for.
struct WriteRecord {
    DWORD position;
    DWORD bytes;
};
std::vector<WriteRecord> g_writes;

BOOL WINAPI RecordingWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                               LPOVERLAPPED overlapped) {
    g_writes.push_back({SetFilePointer(file, 0, nullptr, FILE_CURRENT), bytes});
    return WriteFile(file, data, bytes, written, overlapped);
}

class VoiceFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = folder_.File("voice.wav");
        file_ = CreateEmptyFile(path_);
        g_writes.clear();
        g_writeFile = RecordingWriteFile;
    }
    void TearDown() override {
        g_writeFile = WriteFile;
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
        }
    }
    void AppendData(const std::vector<BYTE>& data) {
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        ASSERT_EQ(written, data.size());
    }
    void Close() {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    std::vector<BYTE> Data(size_t count) {
        std::vector<BYTE> data(count);
        for (size_t i = 0; i < count; ++i) {
            data[i] = static_cast<BYTE>(i * 7 + 3);
        }
        return data;
    }

    TempFolder folder_;
    std::string path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

TEST_F(VoiceFileTest, NewHeaderIsTheCompletedHeaderOfNoData) {
    BYTE built[kHeaderBytes];
    BuildVoiceHeader(built);
    EXPECT_EQ(std::vector<BYTE>(built, built + kHeaderBytes), kNewHeader);
    EXPECT_EQ(kNewHeader, CompletedHeader(52, 0, 0));

    WriteVoiceHeader(file_);
    Close();
    EXPECT_EQ(ReadFileBytes(path_), kNewHeader);
    ASSERT_EQ(g_writes.size(), 3u);
    for (int piece = 0; piece < 3; ++piece) {
        EXPECT_EQ(g_writes[piece].position, 20u * piece);
        EXPECT_EQ(g_writes[piece].bytes, 20u);
    }
}

TEST_F(VoiceFileTest, FormatIsTheFmtChunkBody) {
    const GSM610WAVEFORMAT* format = VoiceFormat();
    ASSERT_NE(format, nullptr);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(format);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 20),
              std::vector<BYTE>(kNewHeader.begin() + 20, kNewHeader.begin() + 40));
}

TEST_F(VoiceFileTest, CompletesSizesForNoData) {
    WriteVoiceHeader(file_);
    CompleteVoiceHeader(file_, 0);
    Close();
    EXPECT_EQ(ReadFileBytes(path_), CompletedHeader(52, 0, 0));
}

TEST_F(VoiceFileTest, CompletesSizesForOneSecond) {
    WriteVoiceHeader(file_);
    const std::vector<BYTE> data = Data(kBytesPerSecond);
    AppendData(data);
    CompleteVoiceHeader(file_, kBytesPerSecond);
    Close();

    std::vector<BYTE> expected = CompletedHeader(1625 + 52, 8000, 1625);
    expected.insert(expected.end(), data.begin(), data.end());
    const std::vector<BYTE> bytes = ReadFileBytes(path_);
    EXPECT_EQ(bytes.size(), kHeaderBytes + kBytesPerSecond);
    EXPECT_EQ(bytes, expected);
}

TEST_F(VoiceFileTest, CompletesSizesForOddFrameCount) {
    WriteVoiceHeader(file_);
    const std::vector<BYTE> data = Data(3 * 65);
    AppendData(data);
    CompleteVoiceHeader(file_, 3 * 65);
    Close();

    std::vector<BYTE> expected = CompletedHeader(195 + 52, 960, 195);
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(ReadFileBytes(path_), expected);
}

TEST_F(VoiceFileTest, CompletionWritesDataSizeThenSamplesThenRiffSizeAndKeepsFileOpen) {
    WriteVoiceHeader(file_);
    AppendData(Data(130));
    g_writes.clear();
    CompleteVoiceHeader(file_, 130);

    ASSERT_EQ(g_writes.size(), 3u);
    EXPECT_EQ(g_writes[0].position, 56u);
    EXPECT_EQ(g_writes[1].position, 48u);
    EXPECT_EQ(g_writes[2].position, 4u);
    for (const WriteRecord& write : g_writes) {
        EXPECT_EQ(write.bytes, 4u);
    }
    // Still usable by the caller, who closes it.
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file_, "x", 1, &written, nullptr));
}

// Exact rounding of dataBytes * 64 / 13 in integers: floor((128 x + 13) / 26).
DWORD RoundedSamples(std::uint64_t dataBytes) {
    return static_cast<DWORD>((128 * dataBytes + 13) / 26);
}

TEST(SampleCountTest, RoundsToTheNearestSample) {
    EXPECT_EQ(SampleCount(0), 0u);
    EXPECT_EQ(SampleCount(1), 5u);   // 4.92
    EXPECT_EQ(SampleCount(7), 34u);  // 34.46
    EXPECT_EQ(SampleCount(13), 64u);
    EXPECT_EQ(SampleCount(65), 320u);
    EXPECT_EQ(SampleCount(1625), 8000u);
    EXPECT_EQ(SampleCount(1000001), 4923082u);  // 4923081.85
    for (DWORD bytes = 0; bytes < 20000; ++bytes) {
        ASSERT_EQ(SampleCount(bytes), RoundedSamples(bytes)) << bytes;
    }
}

TEST(SampleCountTest, LargestCountsFitTheField) {
    // 872415231 bytes are the most whose count still fits in 32 bits.
    EXPECT_EQ(SampleCount(872415231), 4294967291u);
    EXPECT_EQ(SampleCount(872415232), 0xFFFFFFFFu);
    EXPECT_EQ(SampleCount(1073641824), 0xFFFFFFFFu);
}

}  // namespace
