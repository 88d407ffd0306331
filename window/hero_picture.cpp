#include "window/hero_picture.h"

#include <shlwapi.h>

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

OwnedBitmap copy_to_pargb_bitmap(Gdiplus::Image& source) {
    if (source.GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    const UINT width = source.GetWidth();
    const UINT height = source.GetHeight();
    if (width == 0 || height == 0) {
        return nullptr;
    }
    OwnedBitmap bitmap(new Gdiplus::Bitmap(static_cast<INT>(width), static_cast<INT>(height),
                                           PixelFormat32bppPARGB));
    // GDI+ allocates its objects itself and gives none, rather than throwing, when it cannot.
    if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    Gdiplus::Graphics graphics(bitmap.get());
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    const Gdiplus::Status drawn = graphics.DrawImage(
        &source, Gdiplus::Rect(0, 0, static_cast<INT>(width), static_cast<INT>(height)));
    if (drawn != Gdiplus::Ok) {
        return nullptr;
    }
    return bitmap;
}

OwnedBitmap load_picture_file(const std::filesystem::path& path) {
    Gdiplus::Image image(path.c_str());
    return copy_to_pargb_bitmap(image);
}

OwnedBitmap load_picture_resource(HINSTANCE instance) {
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
    return copy_to_pargb_bitmap(image);
}

}  // namespace bx
