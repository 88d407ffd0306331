// What is GDI's own: device contexts, which are given back to the window they came from, and
// objects selected into one for a scope. Fonts, brushes and pens are owned by the launcher's
// one owner template (launcher/platform/unique.h).
#pragma once

#include <windows.h>

#include <cstdint>

namespace bx {

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
