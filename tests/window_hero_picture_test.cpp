// The hero picture is decoded once into a 32-bit premultiplied bitmap no larger than it can be
// drawn on the screen; anything that is not a picture gives none, so the window falls back.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scratch_folder.h"
#include "test_server_client.h"
#include "window/hero_picture.h"

namespace bx {
void PrintTo(const PictureSize& size, std::ostream* out) {
    *out << size.width << " x " << size.height;
}
}  // namespace bx

namespace {

struct SizeCase {
    const char* what;
    bx::PictureSize picture;
    bx::PictureSize screen;
    bx::PictureSize converted;
};

TEST(ConvertedPictureSize, CoversTheScreenWithTheAspectKeptAndNeverEnlarges) {
    constexpr std::uint32_t kMax = 0xFFFFFFFFu;
    const SizeCase cases[] = {
        {"square, landscape screen: the width decides", {8000, 8000}, {1600, 1200}, {1600, 1600}},
        {"square, portrait screen: the height decides", {8000, 8000}, {1200, 1600}, {1600, 1600}},
        {"the screen's shape", {3200, 2400}, {1600, 1200}, {1600, 1200}},
        {"two screens side by side", {8000, 8000}, {3840, 1080}, {3840, 3840}},
        {"wide panorama keeps the screen's height", {40000, 2000}, {1920, 1080}, {21600, 1080}},
        {"tall picture keeps the screen's width", {4000, 12000}, {1920, 1080}, {1920, 5760}},
        {"thin panorama lower than the screen", {100000, 800}, {1920, 1080}, {100000, 800}},
        {"thin strip narrower than the screen", {1000, 30000}, {1920, 1080}, {1000, 30000}},
        {"smaller than the screen", {720, 1080}, {1600, 1200}, {720, 1080}},
        {"exactly the screen", {1600, 1200}, {1600, 1200}, {1600, 1200}},
        {"one pixel larger each way", {1601, 1201}, {1600, 1200}, {1600, 1200}},
        {"one pixel", {1, 1}, {1600, 1200}, {1, 1}},
        {"one-pixel screen, wide picture", {5000, 3}, {1, 1}, {1667, 1}},
        {"one-pixel screen, tall picture", {3, 5000}, {1, 1}, {1, 1667}},
        {"a half rounds up", {4000, 3001}, {2000, 1200}, {2000, 1501}},
        {"a third rounds down", {3000, 2002}, {1000, 600}, {1000, 667}},
        {"below a half of a pixel still gives one", {3, 2}, {1, 1}, {2, 1}},
        {"largest sides, no overflow", {kMax, kMax}, {7680, 4320}, {7680, 7680}},
        {"largest width, no overflow", {kMax, 3000000000u}, {3840, 2160}, {3840, 2682}},
        {"no screen size: a 4K screen", {8000, 8000}, {0, 0}, {3840, 3840}},
        {"no screen height: a 4K screen", {8000, 8000}, {1600, 0}, {3840, 3840}},
        {"no screen size, smaller picture", {720, 1080}, {0, 0}, {720, 1080}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(bx::converted_picture_size(c.picture, c.screen), c.converted);
    }
}

// The PNG encoder that GDI+ brings along.
CLSID png_encoder() {
    UINT count = 0;
    UINT bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok) {
        throw std::runtime_error("GetImageEncodersSize failed");
    }
    std::vector<std::byte> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) {
        throw std::runtime_error("GetImageEncoders failed");
    }
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring_view(codecs[i].MimeType) == L"image/png") {
            return codecs[i].Clsid;
        }
    }
    throw std::runtime_error("GDI+ has no PNG encoder");
}

const Gdiplus::ARGB kRed = 0xFFFF0000;
const Gdiplus::ARGB kGreen = 0xFF00FF00;
const Gdiplus::ARGB kBlue = 0xFF0000FF;
const Gdiplus::ARGB kWhite = 0xFFFFFFFF;

// A PNG of four flat areas split a quarter of the way across and down: red, green above;
// blue, white below. Large in pixels and small in bytes.
void write_quarters_png(const std::filesystem::path& path, int width, int height) {
    Gdiplus::Bitmap picture(width, height, PixelFormat24bppRGB);
    ASSERT_EQ(picture.GetLastStatus(), Gdiplus::Ok);
    {
        Gdiplus::Graphics graphics(&picture);
        const int x = width / 4;
        const int y = height / 4;
        const auto fill = [&graphics](Gdiplus::ARGB color, int left, int top, int w, int h) {
            Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
            graphics.FillRectangle(&brush, left, top, w, h);
        };
        fill(kRed, 0, 0, x, y);
        fill(kGreen, x, 0, width - x, y);
        fill(kBlue, 0, y, x, height - y);
        fill(kWhite, x, y, width - x, height - y);
    }
    const CLSID encoder = png_encoder();
    ASSERT_EQ(picture.Save(path.c_str(), &encoder, nullptr), Gdiplus::Ok);
}

std::string hex(Gdiplus::ARGB color) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(color));
    return text;
}

// The colour at (x, y), unpremultiplied, within `tolerance` in each of alpha, red, green, blue.
testing::AssertionResult colour_at(Gdiplus::Bitmap& bitmap, int x, int y, Gdiplus::ARGB expected,
                                   int tolerance = 2) {
    Gdiplus::Color color;
    if (bitmap.GetPixel(x, y, &color) != Gdiplus::Ok) {
        return testing::AssertionFailure() << "GetPixel(" << x << ", " << y << ") failed";
    }
    const Gdiplus::ARGB actual = color.GetValue();
    for (int shift = 0; shift < 32; shift += 8) {
        const int difference =
            static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(difference) > tolerance) {
            return testing::AssertionFailure() << "(" << x << ", " << y << ") is " << hex(actual)
                                               << ", not " << hex(expected);
        }
    }
    return testing::AssertionSuccess();
}

class HeroPicture : public testing::Test {
protected:
    bx::GdiplusSession gdiplus_ = bx::start_gdiplus();
    bx_test::ScratchFolder folder_;
};

TEST_F(HeroPicture, TheShippedPictureIsKeptOnALargerScreenAndScaledToCoverASmallerOne) {
    const std::filesystem::path hero =
        std::filesystem::path(bx_test::host_path(BX_TEST_SOURCE_DIR)) / ".." / "resources" /
        "hero.jpg";
    const SizeCase cases[] = {
        {"larger screen", {}, {1600, 1200}, {720, 1080}},
        {"no screen size", {}, {0, 0}, {720, 1080}},
        {"smaller screen: its width decides", {}, {360, 270}, {360, 540}},
        {"smaller screen: its height decides", {}, {200, 540}, {360, 540}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const bx::OwnedBitmap bitmap = bx::load_picture_file(hero, c.screen);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ((bx::PictureSize{bitmap->GetWidth(), bitmap->GetHeight()}), c.converted);
        EXPECT_EQ(bitmap->GetPixelFormat(), PixelFormat32bppPARGB);
    }

    // The file is not held open after loading.
    const std::filesystem::path copy = folder_ / "hero.jpg";
    std::filesystem::copy_file(hero, copy);
    ASSERT_NE(bx::load_picture_file(copy, {1600, 1200}), nullptr);
    std::error_code error;
    EXPECT_TRUE(std::filesystem::remove(copy, error)) << error.message();
}

TEST_F(HeroPicture, ALargePictureBecomesOneThatCoversTheScreenWithEveryAreaInPlace) {
    const std::filesystem::path png = folder_ / "quarters.png";
    ASSERT_NO_FATAL_FAILURE(write_quarters_png(png, 6000, 4000));
    const bx::OwnedBitmap bitmap = bx::load_picture_file(png, {600, 300});
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ((bx::PictureSize{bitmap->GetWidth(), bitmap->GetHeight()}),
              (bx::PictureSize{600, 400}));
    EXPECT_EQ(bitmap->GetPixelFormat(), PixelFormat32bppPARGB);

    // The splits stay a quarter of the way in (at 150 and 100): the whole picture was scaled,
    // neither cut nor stretched. A few pixels either side, clear of the filter's reach.
    Gdiplus::Bitmap& b = *bitmap;
    EXPECT_TRUE(colour_at(b, 146, 50, kRed));
    EXPECT_TRUE(colour_at(b, 154, 50, kGreen));
    EXPECT_TRUE(colour_at(b, 146, 250, kBlue));
    EXPECT_TRUE(colour_at(b, 154, 250, kWhite));
    EXPECT_TRUE(colour_at(b, 75, 96, kRed));
    EXPECT_TRUE(colour_at(b, 75, 104, kBlue));
    EXPECT_TRUE(colour_at(b, 400, 96, kGreen));
    EXPECT_TRUE(colour_at(b, 400, 104, kWhite));

    // Every edge pixel keeps its area's colour, opaque: no rim fades into transparency.
    for (int x = 0; x < 600; ++x) {
        if (x >= 140 && x < 160) continue;  // the vertical split
        const bool left = x < 150;
        EXPECT_TRUE(colour_at(b, x, 0, left ? kRed : kGreen));
        EXPECT_TRUE(colour_at(b, x, 399, left ? kBlue : kWhite));
    }
    for (int y = 0; y < 400; ++y) {
        if (y >= 90 && y < 110) continue;  // the horizontal split
        const bool top = y < 100;
        EXPECT_TRUE(colour_at(b, 0, y, top ? kRed : kBlue));
        EXPECT_TRUE(colour_at(b, 599, y, top ? kGreen : kWhite));
    }
}

TEST_F(HeroPicture, WhatIsNoPictureGivesNone) {
    bx_test::write_bytes(folder_ / "notes.jpg", "not a picture");
    bx_test::write_bytes(folder_ / "empty.png", "");
    const bx::PictureSize screen{1600, 1200};
    EXPECT_EQ(bx::load_picture_file(folder_ / "notes.jpg", screen), nullptr);
    EXPECT_EQ(bx::load_picture_file(folder_ / "empty.png", screen), nullptr);
    EXPECT_EQ(bx::load_picture_file(folder_ / "missing.jpg", screen), nullptr);
    // A large picture cut short: its header promises what its data does not hold.
    const std::filesystem::path whole = folder_ / "whole.png";
    ASSERT_NO_FATAL_FAILURE(write_quarters_png(whole, 6000, 4000));
    std::string bytes;
    {
        std::ifstream in(whole, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bx_test::write_bytes(folder_ / "cut.png", std::string_view(bytes).substr(0, bytes.size() / 2));
    EXPECT_EQ(bx::load_picture_file(folder_ / "cut.png", screen), nullptr);
    // This test program embeds no "HERO" resource.
    EXPECT_EQ(bx::load_picture_resource(GetModuleHandleW(nullptr), screen), nullptr);
}

}  // namespace
