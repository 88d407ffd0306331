#include "window/hero_picture.h"

#include <shlwapi.h>

#include <climits>
#include <stdexcept>

namespace bx {

GdiplusSession start_gdiplus() {
    const Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        throw std::runtime_error("Could not initialize image support");
    }
    return GdiplusSession(token);
}

namespace {

// value × numerator ÷ denominator, rounded to the nearest whole number (a half up). With
// numerator < denominator the result is at most value; the product fits in 64 bits.
std::uint32_t scaled(std::uint32_t value, std::uint32_t numerator, std::uint32_t denominator) {
    const std::uint64_t product = std::uint64_t{value} * numerator;
    std::uint64_t quotient = product / denominator;
    const std::uint64_t remainder = product % denominator;
    if (remainder >= denominator - remainder) {
        ++quotient;
    }
    return static_cast<std::uint32_t>(quotient);
}

}  // namespace

PictureSize converted_picture_size(PictureSize picture, PictureSize screen) {
    if (screen.width == 0 || screen.height == 0) {
        screen = kFallbackScreen;
    }
    // Narrower or lower than the screen: any smaller and it would have to be enlarged again.
    if (picture.width <= screen.width || picture.height <= screen.height) {
        return picture;
    }
    // The side that needs the larger share of itself to cover the screen decides the scale; the
    // other side then comes out at least as long as the screen's, so it never rounds to 0.
    if (std::uint64_t{screen.width} * picture.height >=
        std::uint64_t{screen.height} * picture.width) {
        return {screen.width, scaled(picture.height, screen.width, picture.width)};
    }
    return {scaled(picture.width, screen.height, picture.height), screen.height};
}

PictureSize virtual_screen_size() {
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        return {};
    }
    return {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
}

OwnedBitmap copy_to_pargb_bitmap(Gdiplus::Image& source, PictureSize screen) {
    if (source.GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    const PictureSize picture{source.GetWidth(), source.GetHeight()};
    // GDI+ takes sizes as INT; it makes no larger image, but a size it reports is not trusted.
    constexpr std::uint32_t kMaxSide = static_cast<std::uint32_t>(INT_MAX);
    if (picture.width == 0 || picture.height == 0 || picture.width > kMaxSide ||
        picture.height > kMaxSide) {
        return nullptr;
    }
    const PictureSize size = converted_picture_size(picture, screen);
    OwnedBitmap bitmap(new Gdiplus::Bitmap(static_cast<INT>(size.width),
                                           static_cast<INT>(size.height), PixelFormat32bppPARGB));
    // GDI+ allocates its objects itself and gives none, rather than throwing, when it cannot;
    // every later step reports running out of memory as a status.
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    // Bicubic sampling reaches past the picture's edge. Mirrored there, the edge keeps its
    // colour; GDI+ would otherwise blend it with transparency into a half-transparent rim.
    Gdiplus::ImageAttributes edges;
    if (edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY) != Gdiplus::Ok) {
        return nullptr;
    }
    Gdiplus::Graphics graphics(bitmap.get());
    if (graphics.GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    const Gdiplus::Status drawn = graphics.DrawImage(
        &source, Gdiplus::Rect(0, 0, static_cast<INT>(size.width), static_cast<INT>(size.height)),
        0, 0, static_cast<INT>(picture.width), static_cast<INT>(picture.height),
        Gdiplus::UnitPixel, &edges);
    if (drawn != Gdiplus::Ok) {
        return nullptr;
    }
    return bitmap;
}

OwnedBitmap load_picture_file(const std::filesystem::path& path, PictureSize screen) {
    Gdiplus::Image image(path.c_str());
    return copy_to_pargb_bitmap(image, screen);
}

OwnedBitmap load_picture_resource(HINSTANCE instance, PictureSize screen) {
    HRSRC resource = FindResourceW(instance, L"HERO", RT_RCDATA);
    if (resource == nullptr) {
        return nullptr;
    }
    const DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) {
        return nullptr;
    }
    const UniqueCom<IStream> stream(
        SHCreateMemStream(static_cast<const BYTE*>(bytes), static_cast<UINT>(size)));
    if (!stream) {
        return nullptr;
    }
    // The decoded image goes before the stream it reads from.
    Gdiplus::Image image(stream.get());
    return copy_to_pargb_bitmap(image, screen);
}

}  // namespace bx
