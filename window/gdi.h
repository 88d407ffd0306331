// Small owners of GDI handles, so that every font, brush, pen and device context the window
// creates is released on every path, and every object selected into a device context is
// replaced by the previous one again.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bx {

// A font, brush or pen created by the window; DeleteObject when replaced or destroyed.
template <class Handle>
class GdiObject {
public:
    GdiObject() noexcept = default;
    explicit GdiObject(Handle handle) noexcept : handle_(handle) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            reset(other.handle_);
            other.handle_ = nullptr;
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }
    void reset(Handle handle = nullptr) noexcept {
        if (handle_ != nullptr) {
            DeleteObject(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;

// Selects an object into a device context for one scope, then selects the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_ != nullptr) {
            SelectObject(dc_, previous_);
        }
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context from GetDC, released with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Drawing in a device context kept inside one rectangle for one scope.
class ClipToRect {
public:
    ClipToRect(HDC dc, const RECT& rect) noexcept : dc_(dc), saved_(SaveDC(dc)) {
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    }
    ~ClipToRect() {
        if (saved_ != 0) {
            RestoreDC(dc_, saved_);
        }
    }
    ClipToRect(const ClipToRect&) = delete;
    ClipToRect& operator=(const ClipToRect&) = delete;

private:
    HDC dc_;
    int saved_;
};

// BeginPaint and EndPaint around one WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// The window's icon: destroyed with the object unless it is the shared resource icon, which
// the system owns.
class Icon {
public:
    Icon() noexcept = default;
    ~Icon() { reset(); }
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;

    HICON get() const noexcept { return handle_; }
    bool shared() const noexcept { return shared_; }
    void reset(HICON handle = nullptr, bool shared = false) noexcept {
        if (handle_ != nullptr && !shared_) {
            DestroyIcon(handle_);
        }
        handle_ = handle;
        shared_ = handle != nullptr && shared;
    }

private:
    HICON handle_ = nullptr;
    bool shared_ = false;
};

// The configuration's 0x00RRGGBB as a GDI colour reference 0x00BBGGRR.
constexpr COLORREF to_colorref(std::uint32_t rgb) noexcept {
    return static_cast<COLORREF>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// Each channel of a 0x00RRGGBB colour multiplied by percent / 100, truncated.
constexpr std::uint32_t scale_channels(std::uint32_t rgb, std::uint32_t percent) noexcept {
    const std::uint32_t r = ((rgb >> 16) & 0xFF) * percent / 100;
    const std::uint32_t g = ((rgb >> 8) & 0xFF) * percent / 100;
    const std::uint32_t b = (rgb & 0xFF) * percent / 100;
    return (r << 16) | (g << 8) | b;
}

}  // namespace bx
