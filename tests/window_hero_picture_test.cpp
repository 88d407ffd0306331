// The hero picture is decoded once into a 32-bit premultiplied bitmap of the picture's size;
// anything that is not a picture gives none, so the window falls back.
#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_folder.h"
#include "test_server_client.h"
#include "window/hero_picture.h"

namespace {

class HeroPicture : public testing::Test {
protected:
    bx::GdiplusSession gdiplus_ = bx::start_gdiplus();
    bx_test::ScratchFolder folder_;
};

TEST_F(HeroPicture, TheShippedPictureBecomesAPremultipliedBitmapOfItsSize) {
    const std::filesystem::path hero =
        std::filesystem::path(bx_test::host_path(BX_TEST_SOURCE_DIR)) / ".." / "resources" /
        "hero.jpg";
    const bx::OwnedBitmap bitmap = bx::load_picture_file(hero);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->GetWidth(), 720u);
    EXPECT_EQ(bitmap->GetHeight(), 1080u);
    EXPECT_EQ(bitmap->GetPixelFormat(), PixelFormat32bppPARGB);

    // The file is not held open after loading.
    const std::filesystem::path copy = folder_ / "hero.jpg";
    std::filesystem::copy_file(hero, copy);
    ASSERT_NE(bx::load_picture_file(copy), nullptr);
    std::error_code error;
    EXPECT_TRUE(std::filesystem::remove(copy, error)) << error.message();
}

TEST_F(HeroPicture, WhatIsNoPictureGivesNone) {
    bx_test::write_bytes(folder_ / "notes.jpg", "not a picture");
    bx_test::write_bytes(folder_ / "empty.png", "");
    EXPECT_EQ(bx::load_picture_file(folder_ / "notes.jpg"), nullptr);
    EXPECT_EQ(bx::load_picture_file(folder_ / "empty.png"), nullptr);
    EXPECT_EQ(bx::load_picture_file(folder_ / "missing.jpg"), nullptr);
    // This test program embeds no "HERO" resource.
    EXPECT_EQ(bx::load_picture_resource(GetModuleHandleW(nullptr)), nullptr);
}

}  // namespace
