// GDI+ for the window's hero picture: the library's start-up token, and the picture decoded
// once from a file or the executable's "HERO" resource into a 32-bit premultiplied bitmap,
// which is the only form painting ever draws.
#pragma once

#include <windows.h>

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

using OwnedBitmap = std::unique_ptr<Gdiplus::Bitmap>;

// The decoded image drawn once into a new PixelFormat32bppPARGB bitmap of its size; none when
// the image failed to decode, has no area, or the copy fails.
OwnedBitmap copy_to_pargb_bitmap(Gdiplus::Image& source);

// The picture of a file, converted; none when the file cannot be decoded. The decoded image
// is released before returning, so the file is not held open.
OwnedBitmap load_picture_file(const std::filesystem::path& path);

// The RCDATA resource "HERO" of the module, decoded from memory and converted; none when the
// resource is missing or empty or does not decode.
OwnedBitmap load_picture_resource(HINSTANCE instance);

}  // namespace bx
