#include "window/hero_picture.h"

#include <shlwapi.h>

#include <stdexcept>

namespace bx {

GdiplusSession::GdiplusSession() {
    const Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) {
        token_ = 0;
        throw std::runtime_error("Could not initialize image support");
    }
}

GdiplusSession::~GdiplusSession() { shutdown(); }

void GdiplusSession::shutdown() noexcept {
    if (token_ != 0) {
        Gdiplus::GdiplusShutdown(token_);
        token_ = 0;
    }
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
    if (bitmap->GetLastStatus() != Gdiplus::Ok) {
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

namespace {

struct StreamRelease {
    void operator()(IStream* stream) const noexcept { stream->Release(); }
};

}  // namespace

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
    std::unique_ptr<IStream, StreamRelease> stream(
        SHCreateMemStream(static_cast<const BYTE*>(bytes), static_cast<UINT>(size)));
    if (!stream) {
        return nullptr;
    }
    // The decoded image goes before the stream it reads from.
    Gdiplus::Image image(stream.get());
    return copy_to_pargb_bitmap(image);
}

}  // namespace bx
