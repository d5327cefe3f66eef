// The button pictures and window icons in the repository and in the program's resources.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/controls/controls_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    int Lightness() const { return (r + g + b) / 3; }
    bool Grey() const { return r == g && g == b; }
};

struct PictureFile {
    const char* name;
    int id;
    int state;  // 0 normal, 1 pressed, 2 disabled
};

constexpr PictureFile kPictureFiles[] = {
    {"play", IDB_PLAY, 0},
    {"play_pressed", IDB_PLAY_PRESSED, 1},
    {"play_disabled", IDB_PLAY_DISABLED, 2},
    {"pause", IDB_PAUSE, 0},
    {"pause_pressed", IDB_PAUSE_PRESSED, 1},
    {"pause_disabled", IDB_PAUSE_DISABLED, 2},
    {"stop", IDB_STOP, 0},
    {"stop_pressed", IDB_STOP_PRESSED, 1},
    {"stop_disabled", IDB_STOP_DISABLED, 2},
    {"record", IDB_RECORD, 0},
    {"record_pressed", IDB_RECORD_PRESSED, 1},
    {"record_disabled", IDB_RECORD_DISABLED, 2},
    {"send", IDB_SEND, 0},
    {"send_pressed", IDB_SEND_PRESSED, 1},
    {"send_disabled", IDB_SEND_DISABLED, 2},
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t U32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

constexpr size_t kPixelsAt = 14 + 40 + 1024;  // right after a 256-entry palette

// A 42 x 42 picture read from its file. Read pixels only after ExpectFormat passed: what At
// relies on is asserted there.
class Picture {
  public:
    explicit Picture(const std::string& path) : file_(ReadFile(path)) {}

    void ExpectFormat() const {
        ASSERT_EQ(file_.size(), kPixelsAt + 44u * 42u) << "rows of 44 bytes";
        EXPECT_EQ(file_[0], 'B');
        EXPECT_EQ(file_[1], 'M');
        EXPECT_EQ(U32(file_, 2), file_.size());
        ASSERT_EQ(U32(file_, 10), kPixelsAt) << "pixels right after a 256-entry palette";
        EXPECT_EQ(U32(file_, 14), 40u) << "BITMAPINFOHEADER";
        ASSERT_EQ(static_cast<int32_t>(U32(file_, 18)), 42);
        ASSERT_EQ(static_cast<int32_t>(U32(file_, 22)), 42) << "bottom-up, 42 rows";
        EXPECT_EQ(U16(file_, 26), 1);
        ASSERT_EQ(U16(file_, 28), 8) << "bits per pixel";
        ASSERT_EQ(U32(file_, 30), static_cast<uint32_t>(BI_RGB));
        const uint32_t used = U32(file_, 46);
        EXPECT_TRUE(used == 0 || used == 256) << used << " palette entries";
    }

    Rgb At(int x, int y) const {
        const size_t at = kPixelsAt + (41 - y) * 44 + x;
        if (x < 0 || x >= 42 || y < 0 || y >= 42 || at >= file_.size()) {
            ADD_FAILURE() << "pixel " << x << "," << y << " outside the picture";
            return {-1, -1, -1};
        }
        const size_t entry = 54 + file_[at] * 4;  // within the palette for any 8-bit index
        return {file_[entry + 2], file_[entry + 1], file_[entry]};
    }

  private:
    Bytes file_;
};

constexpr Rgb kMargin = {156, 178, 212};
constexpr Rgb kBlack = {0, 0, 0};

std::string SourcePath(const std::string& relative) {
    return std::string(KESTRUNE_SOURCE_DIR) + "/" + relative;
}

TEST(PictureFiles, AreUncompressed42By42With256Colours) {
    for (const PictureFile& file : kPictureFiles) {
        SCOPED_TRACE(file.name);
        Picture(SourcePath(std::string("res/bitmaps/") + file.name + ".bmp")).ExpectFormat();
    }
}

TEST(PictureFiles, ShowAFramedFaceWithItsSymbolInTheMiddle) {
    for (const PictureFile& file : kPictureFiles) {
        SCOPED_TRACE(file.name);
        Picture picture(SourcePath(std::string("res/bitmaps/") + file.name + ".bmp"));
        ASSERT_NO_FATAL_FAILURE(picture.ExpectFormat());
        for (int i = 0; i < 42; ++i) {
            for (int ring : {0, 1, 40, 41}) {
                ASSERT_EQ(picture.At(i, ring), kMargin) << i << "," << ring;
                ASSERT_EQ(picture.At(ring, i), kMargin) << ring << "," << i;
            }
        }
        for (int i = 2; i < 40; ++i) {
            ASSERT_EQ(picture.At(i, 2), kBlack);
            ASSERT_EQ(picture.At(i, 39), kBlack);
            ASSERT_EQ(picture.At(2, i), kBlack);
            ASSERT_EQ(picture.At(39, i), kBlack);
        }

        // The face is what fills its corners; the symbol is what stands out from it.
        const Rgb face = picture.At(6, 6);
        const bool record = std::strncmp(file.name, "record", 6) == 0;
        switch (file.state) {
            case 0:
                EXPECT_GT(face.Lightness(), 200) << "light face";
                break;
            case 1:
                if (record) {
                    EXPECT_TRUE(face.r > 150 && face.g < 60 && face.b < 60) << "red face";
                } else {
                    EXPECT_TRUE(face.b > face.r + 40 && face.Lightness() < 110) << "dark blue";
                }
                break;
            default:
                EXPECT_TRUE(face.Grey()) << "grey face";
                break;
        }
        int count = 0;
        double sumX = 0, sumY = 0;
        for (int y = 4; y < 38; ++y) {
            for (int x = 4; x < 38; ++x) {
                const Rgb pixel = picture.At(x, y);
                const int distance = std::abs(pixel.r - face.r) + std::abs(pixel.g - face.g) +
                                     std::abs(pixel.b - face.b);
                if (distance > 60) {
                    ++count;
                    sumX += x + 0.5;
                    sumY += y + 0.5;
                }
            }
        }
        ASSERT_GT(count, 100) << "no symbol";
        EXPECT_NEAR(sumX / count, 21.0, 1.5) << "symbol off centre";
        EXPECT_NEAR(sumY / count, 21.0, 1.5) << "symbol off centre";
        const Rgb middle = picture.At(16, 21);  // inside every symbol, away from its edges
        switch (file.state) {
            case 0:
                if (record) {
                    EXPECT_TRUE(middle.r > 180 && middle.g < 80 && middle.b < 80) << "red disc";
                } else {
                    EXPECT_EQ(middle, kBlack);
                }
                break;
            case 1:
                EXPECT_EQ(middle, (Rgb{255, 255, 255}));
                break;
            default:
                EXPECT_TRUE(middle.Grey() && middle.Lightness() < face.Lightness() - 40)
                    << "darker grey";
                break;
        }
    }
}

// The sets for 125, 150 and 200 %: the same pictures on their own pixel grids, the margin,
// frame and inner edges whole pixels as wide as 2, 1 and 1 px scaled.
TEST(PictureSets, EachLookIsAFramedFaceWithItsSymbolInTheMiddle) {
    RegisterClassesOnce();
    const char* const names[] = {"play", "pause", "stop", "record", "send"};
    for (int drawn : {53, 63, 84}) {
        const double scale = drawn / 42.0;
        const int margin = static_cast<int>(2 * scale + 0.5);
        const int frame = margin + static_cast<int>(scale + 0.5);
        const int edge = frame + static_cast<int>(scale + 0.5);  // the face within its edges
        for (const char* name : names) {
            for (int look = 0; look < 3; ++look) {
                SCOPED_TRACE(testing::Message() << name << " look " << look << " at " << drawn);
                Canvas canvas(drawn, drawn, RGB(255, 0, 255));
                ASSERT_TRUE(DrawPictureFile(name, look, drawn, drawn, COLORONCOLOR, &canvas));
                for (int i = 0; i < drawn; ++i) {
                    for (int ring = 0; ring < frame; ++ring) {
                        const COLORREF wanted = ring < margin ? RGB(156, 178, 212) : RGB(0, 0, 0);
                        const int last = drawn - 1 - ring;
                        if (i >= ring && i <= last) {
                            ASSERT_EQ(canvas.At(i, ring), wanted) << i << "," << ring;
                            ASSERT_EQ(canvas.At(ring, i), wanted) << ring << "," << i;
                            ASSERT_EQ(canvas.At(i, last), wanted) << i << "," << last;
                            ASSERT_EQ(canvas.At(last, i), wanted) << last << "," << i;
                        }
                    }
                }
                const COLORREF face = canvas.At(drawn / 6, drawn / 6);
                ASSERT_NE(face, RGB(0, 0, 0));
                int count = 0;
                double sumX = 0, sumY = 0;
                for (int y = edge; y < drawn - edge; ++y) {
                    for (int x = edge; x < drawn - edge; ++x) {
                        const COLORREF pixel = canvas.At(x, y);
                        const int distance = std::abs(GetRValue(pixel) - GetRValue(face)) +
                                             std::abs(GetGValue(pixel) - GetGValue(face)) +
                                             std::abs(GetBValue(pixel) - GetBValue(face));
                        if (distance > 60) {
                            ++count;
                            sumX += x + 0.5;
                            sumY += y + 0.5;
                        }
                    }
                }
                ASSERT_GT(count, 100 * scale * scale) << "no symbol";
                EXPECT_NEAR(sumX / count, drawn / 2.0, 1.5 * scale) << "symbol off centre";
                EXPECT_NEAR(sumY / count, drawn / 2.0, 1.5 * scale) << "symbol off centre";
                // The same pixel of the 42-px picture has the same colour.
                Canvas small(42, 42, RGB(255, 0, 255));
                ASSERT_TRUE(DrawPictureFile(name, look, 42, 42, COLORONCOLOR, &small));
                EXPECT_EQ(canvas.At(static_cast<int>(16.5 * scale), static_cast<int>(21.5 * scale)),
                          small.At(16, 21))
                    << "inside the symbol";
                EXPECT_EQ(face, small.At(6, 6));
            }
        }
    }
}

TEST(PictureResources, LoadAs42By42EightBitPictures) {
    RegisterClassesOnce();
    for (const PictureFile& file : kPictureFiles) {
        SCOPED_TRACE(file.name);
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(g_instance, MAKEINTRESOURCEA(file.id),
                                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(bitmap, nullptr);
        DIBSECTION section = {};
        ASSERT_EQ(GetObjectA(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
        EXPECT_EQ(section.dsBm.bmWidth, 42);
        EXPECT_EQ(section.dsBm.bmHeight, 42);
        EXPECT_EQ(section.dsBmih.biBitCount, 8);
        EXPECT_EQ(section.dsBmih.biCompression, static_cast<DWORD>(BI_RGB));
        DeleteObject(bitmap);

        HBITMAP plain = LoadBitmapA(g_instance, MAKEINTRESOURCEA(file.id));
        ASSERT_NE(plain, nullptr);
        BITMAP info = {};
        ASSERT_EQ(GetObjectA(plain, sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_EQ(info.bmWidth, 42);
        EXPECT_EQ(info.bmHeight, 42);
        DeleteObject(plain);
    }
    EXPECT_EQ(LoadBitmapA(g_instance, MAKEINTRESOURCEA(111)), nullptr) << "there is no 111";
}

// Sizes of the images in an .ico file: each an 8-bit picture with the colours it uses and
// its mask, the 256-px one a PNG.
std::vector<int> IconSizes(const std::string& path) {
    const Bytes file = ReadFile(path);
    std::vector<int> sizes;
    EXPECT_GE(file.size(), 6u);
    if (file.size() < 6) {
        return sizes;
    }
    EXPECT_EQ(U16(file, 0), 0);
    EXPECT_EQ(U16(file, 2), 1) << "an icon";
    const int count = U16(file, 4);
    for (int i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        if (entry + 16 > file.size()) {
            ADD_FAILURE() << "directory entry " << i << " past the end of the file";
            break;
        }
        const int size = file[entry] ? file[entry] : 256;
        EXPECT_EQ(file[entry + 1], file[entry]) << "square";
        const uint32_t bytes = U32(file, entry + 8);
        const uint32_t offset = U32(file, entry + 12);
        if (offset + bytes > file.size() || bytes < 40) {
            ADD_FAILURE() << "image " << i << " (" << bytes << " bytes at " << offset
                          << ") past the end of the file";
            break;
        }
        sizes.push_back(size);
        if (size == 256) {
            EXPECT_EQ(U16(file, entry + 6), 32) << "bits per pixel";
            EXPECT_EQ(U32(file, offset), 0x474E5089u) << "PNG";
            continue;
        }
        EXPECT_EQ(U16(file, entry + 6), 8) << "bits per pixel";
        const uint32_t colours = U32(file, offset + 32);
        EXPECT_TRUE(colours > 0 && colours <= 256) << colours << " colours";
        const size_t mask = ((size + 31) / 32) * 4 * size;
        EXPECT_EQ(bytes, 40u + 4 * colours + size * ((size + 3) / 4 * 4) + mask);
        EXPECT_EQ(U32(file, offset), 40u);
        EXPECT_EQ(static_cast<int>(U32(file, offset + 4)), size);
        EXPECT_EQ(static_cast<int>(U32(file, offset + 8)), 2 * size) << "pixels and mask";
        EXPECT_EQ(U16(file, offset + 14), 8);
        EXPECT_EQ(U32(file, offset + 16), static_cast<uint32_t>(BI_RGB));
    }
    return sizes;
}

// Windows shows icons at 16 to 64 px from 100 to 200 %, and 256 in Explorer's largest views.
TEST(Icons, BothHaveAnImageForEverySizeFrom16To256) {
    const std::vector<int> sizes = {16, 20, 24, 32, 40, 48, 64, 256};
    EXPECT_EQ(IconSizes(SourcePath("res/icons/postcard.ico")), sizes);
    EXPECT_EQ(IconSizes(SourcePath("res/icons/envelope.ico")), sizes);

    RegisterClassesOnce();
    for (int id : {IDI_POSTCARD, IDI_ENVELOPE}) {
        for (int size : sizes) {
            SCOPED_TRACE(testing::Message() << id << " at " << size);
            HICON icon = static_cast<HICON>(
                LoadImageA(g_instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr);
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP colour = {};
            GetObjectA(info.hbmColor, sizeof(colour), &colour);
            EXPECT_EQ(colour.bmWidth, size);
            EXPECT_EQ(colour.bmHeight, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

}  // namespace
