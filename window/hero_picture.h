// GDI+ for the window's hero picture: the library's start-up token, and the picture decoded
// once from a file or the executable's "HERO" resource into a 32-bit premultiplied bitmap,
// which is the only form painting ever draws. That bitmap is no larger than the picture can be
// drawn on this PC, so a print-size picture costs no more memory than a screen-size one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "launcher/platform/unique.h"
#include "window/gdiplus_headers.h"

namespace bx {

struct GdiplusTraits {
    using type = ULONG_PTR;
    static type empty() noexcept { return 0; }
    static void close(type token) noexcept { Gdiplus::GdiplusShutdown(token); }
};
// GDI+ running until the token is reset or destroyed.
using GdiplusSession = Unique<GdiplusTraits>;

// Starts GDI+. Throws std::runtime_error "Could not initialize image support" when it does
// not start.
GdiplusSession start_gdiplus();

// A width and a height in pixels.
struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// Taken for the screen when the system gives no size for it: a 4K screen, which leaves a
// picture sharp on nearly any single screen and still bounds its memory.
inline constexpr PictureSize kFallbackScreen{3840, 2160};

// The size a picture is converted to: the smallest one, aspect ratio kept, that still covers
// `screen` (as painting covers the hero area, which is never larger than the screen), so that
// painting never has to enlarge it; a picture that does not cover the screen already is kept
// as it is. Each side is rounded to the nearest pixel and is never 0 for a picture with area.
// A screen with a side of 0 counts as kFallbackScreen.
PictureSize converted_picture_size(PictureSize picture, PictureSize screen);

// The virtual screen (all monitors) in physical pixels: the largest the window's client area,
// and so the hero, can be in a per-monitor DPI-aware process. {0, 0} when the system gives no
// size.
PictureSize virtual_screen_size();

using OwnedBitmap = std::unique_ptr<Gdiplus::Bitmap>;

// The decoded image drawn once, scaled to converted_picture_size, into a new
// PixelFormat32bppPARGB bitmap; none when the image failed to decode, has no area, or the
// copy fails (out of memory included).
OwnedBitmap copy_to_pargb_bitmap(Gdiplus::Image& source, PictureSize screen);

// The picture of a file, converted for `screen`; none when the file cannot be decoded. The
// decoded image is released before returning, so the file is not held open.
OwnedBitmap load_picture_file(const std::filesystem::path& path, PictureSize screen);

// The RCDATA resource "HERO" of the module, decoded from memory and converted for `screen`;
// none when the resource is missing or empty or does not decode.
OwnedBitmap load_picture_resource(HINSTANCE instance, PictureSize screen);

}  // namespace bx
