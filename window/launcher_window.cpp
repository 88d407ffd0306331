#include "window/launcher_window.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "launcher/config/config_location.h"
#include "launcher/config/settings.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/unique.h"
#include "launcher/platform/text.h"
#include "window/fitted_text.h"
#include "window/gdi.h"
#include "window/hero_picture.h"
#include "window/layout.h"
#include "window/messages.h"
#include "window/operation.h"
#include "window/painting.h"
#include "window/secret_edit.h"
#include "window/status_thread.h"
#include "window/texts.h"

namespace {

constexpr wchar_t kWindowClass[] = L"KadeOrvindalLauncher";
constexpr wchar_t kGuardCaption[] = L"Kade Orvindal";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;

constexpr int IDC_USERNAME = 101;
constexpr int IDC_PASSWORD = 102;
constexpr int IDC_REMEMBER = 103;
constexpr int IDC_DOWNLOAD = 105;
constexpr int IDC_REGISTER_LINK = 106;

// MinGW's headers may lack the name; the value is the system's.
constexpr DWORD kImmersiveDarkMode = 20;

HFONT create_font(int points, int weight, int dpi, const std::wstring& face) {
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// The control's whole text into the caller's empty `text`: a secret is read straight into
// the string that wipes it, so no other copy is left behind (a returned short string would be
// copied out of this frame unless the compiler elided the copy).
void read_window_text(HWND window, std::wstring& text) {
    const int length = GetWindowTextLengthW(window);
    if (length > 0) {
        text.assign(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(window, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
    }
}

std::wstring read_window_text(HWND window) {
    std::wstring text;
    read_window_text(window, text);
    return text;
}

// The width of `text` in the font selected into `dc`, 0 when it cannot be measured.
int text_width(HDC dc, std::wstring_view text) {
    SIZE size{};
    if (dc == nullptr ||
        !GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size)) {
        return 0;
    }
    return size.cx;
}

// The width of `text` in `font`, 0 when it cannot be measured.
int measure_text_width(HWND window, HFONT font, const std::wstring& text) {
    const bx::WindowDc dc(window);
    const bx::SelectedObject selected(dc.get(), font);
    return text_width(dc.get(), text);
}

// The outer size of a main window whose client area is `client` at `dpi`.
SIZE window_size_for(const bx::ClientSize& client, int dpi) {
    RECT frame{0, 0, client.width, client.height};
    AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, static_cast<UINT>(dpi));
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// The work area of the monitor that holds most of `window`.
bx::Bounds work_area_of(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    }
    return {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
            monitor.rcWork.bottom};
}

// Private fonts added for this process; removed again, in the order they were added.
class PrivateFonts {
public:
    PrivateFonts() = default;
    ~PrivateFonts() { remove_all(); }
    PrivateFonts(const PrivateFonts&) = delete;
    PrivateFonts& operator=(const PrivateFonts&) = delete;

    void add(const std::wstring& path) {
        if (AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr) > 0) {
            paths_.push_back(path);
        }
    }
    void remove_all() noexcept {
        for (const std::wstring& path : paths_) {
            RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
        }
        paths_.clear();
    }

private:
    std::vector<std::wstring> paths_;
};

struct BottomLineWidths {
    int prompt = 0;
    int link = 0;
};

class LauncherWindow {
public:
    explicit LauncherWindow(bx::LauncherConfig configuration);
    LauncherWindow(const LauncherWindow&) = delete;
    LauncherWindow& operator=(const LauncherWindow&) = delete;

    // Start-up steps of the entry, in its order.
    void load_icon(HINSTANCE instance);
    void load_hero_picture(HINSTANCE instance);
    void add_private_fonts();
    void register_class(HINSTANCE instance) const;
    void create(HINSTANCE instance, const std::wstring& title, int showCommand);
    int run_message_loop();

    std::wstring title() const {
        return config.branding.windowTitle.empty() ? config.serverName
                                                   : config.branding.windowTitle;
    }

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam);
    LRESULT handle_message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void initialize();
    void create_drawing_objects();
    void create_controls();
    HWND create_control(const wchar_t* className, const std::wstring& text, DWORD style,
                        DWORD extendedStyle, int id, HFONT font);
    BottomLineWidths measure_bottom_line() const;
    bx::ClientSize available_client_area() const;
    int choose_layout_dpi() const;
    void subclass_inputs();
    static LRESULT CALLBACK input_proc(HWND control, UINT message, WPARAM wParam,
                                       LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    void place_on_screen();
    HWND column_control(bx::ColumnControl control) const;
    void layout();
    void fit_remember_caption(int width);
    SIZE minimum_window_size() const;
    void paint();
    LRESULT control_color(UINT message, HDC dc, HWND control);
    void on_command(WPARAM wParam);
    void begin_operation(bool play);
    void refuse_request(const std::wstring& text, bool play);
    void set_inputs_enabled(bool enabled);
    void return_to_idle();
    HWND input_to_fill() const;
    void focus_next_input();
    bool restore_focus();
    void move_focus(WPARAM wParam, LPARAM lParam);
    void show_status(const std::wstring& text, bool error);
    void on_server_status(LPARAM lParam);
    void on_progress(LPARAM lParam);
    void on_operation_done(LPARAM lParam);

    bx::LauncherConfig config;
    bx::LauncherSettings settings;
    HWND hwnd = nullptr;
    HWND heading = nullptr;
    HWND serverState = nullptr;
    HWND usernameLabel = nullptr;
    HWND usernameEdit = nullptr;
    HWND passwordLabel = nullptr;
    HWND passwordEdit = nullptr;
    HWND rememberCheck = nullptr;
    HWND playButton = nullptr;
    HWND downloadButton = nullptr;
    HWND progressBar = nullptr;
    HWND statusText = nullptr;
    HWND accountPrompt = nullptr;
    HWND registerLink = nullptr;
    // Released in the reverse order: the picture while GDI+ still runs, GDI+ after every GDI
    // object.
    bx::GdiplusSession gdiplus;
    HICON icon = nullptr;     // the window's icon: iconFile's, or the shared resource icon
    bx::UniqueIcon iconFile;  // an icon loaded from a file; the shared one is the system's
    bx::UniqueBrush backgroundBrush;
    bx::UniqueBrush panelBrush;
    bx::UniqueBrush fieldBrush;
    bx::UniqueFont bodyFont;
    bx::UniqueFont smallFont;
    bx::UniqueFont labelFont;
    bx::UniqueFont headingFont;
    bx::UniqueFont titleFont;
    bx::UniqueFont buttonFont;
    PrivateFonts addedFonts;
    bx::OwnedBitmap heroBitmap;
    RECT panelRect{};
    int heroWidth = 0;
    std::wstring rememberCaption;  // the check box's caption as it fits its width
    HWND lastFocus = nullptr;      // the input that gets the focus back on activation
    int passwordLongest = 0;       // the longest the password has been since it was wiped
    int dpi = 96;        // the window's own: its frame
    int layoutDpi = 96;  // what the layout, fonts and pictures are scaled by (fitting_layout_dpi)
    bool busy = false;
    bool serverOnline = false;
    bool statusIsError = false;
};

LauncherWindow::LauncherWindow(bx::LauncherConfig configuration)
    : config(std::move(configuration)), settings(bx::load_settings()),
      gdiplus(bx::start_gdiplus()) {}

void LauncherWindow::load_icon(HINSTANCE instance) {
    const std::filesystem::path path = bx::resolve_config_path(config, config.branding.windowIcon);
    if (!path.empty()) {
        iconFile.reset(static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0,
                                                     LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    }
    icon = iconFile ? iconFile.get()
                    : static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0,
                                                    0, LR_SHARED | LR_DEFAULTSIZE));
}

void LauncherWindow::load_hero_picture(HINSTANCE instance) {
    const std::filesystem::path path = bx::resolve_config_path(config, config.branding.heroImage);
    const bx::PictureSize screen = bx::virtual_screen_size();
    if (!path.empty()) {
        heroBitmap = bx::load_picture_file(path, screen);
    }
    if (!heroBitmap) {
        heroBitmap = bx::load_picture_resource(instance, screen);
    }
}

void LauncherWindow::add_private_fonts() {
    for (const std::filesystem::path& file : config.branding.fontFiles) {
        addedFonts.add(bx::resolve_config_path(config, file).wstring());
    }
}

void LauncherWindow::register_class(HINSTANCE instance) const {
    HICON classIcon = icon != nullptr ? icon : LoadIconW(nullptr, IDI_APPLICATION);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &LauncherWindow::window_proc;
    windowClass.hInstance = instance;
    windowClass.hIcon = classIcon;
    windowClass.hIconSm = classIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    bx::check(RegisterClassExW(&windowClass), "RegisterClassExW");
}

void LauncherWindow::create(HINSTANCE instance, const std::wstring& title, int showCommand) {
    // The system DPI is only a guess at the DPI the window gets; the size is set again for
    // the window's own DPI, its monitor and the measured bottom line before the window shows.
    const int systemDpi = static_cast<int>(GetDpiForSystem());
    const SIZE guess = window_size_for(
        bx::starting_client_size(systemDpi, 0, 0, {INT_MAX, INT_MAX}), systemDpi);
    hwnd = bx::check(CreateWindowExW(0, kWindowClass, title.c_str(), kWindowStyle, CW_USEDEFAULT,
                                     CW_USEDEFAULT, guess.cx, guess.cy, nullptr, nullptr,
                                     instance, this),
                     "CreateWindowExW");
    place_on_screen();
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
}

int LauncherWindow::run_message_loop() {
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        // Tab moves between the inputs and Enter presses the play button (IDOK).
        if (!IsDialogMessageW(hwnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}

HWND LauncherWindow::create_control(const wchar_t* className, const std::wstring& text,
                                    DWORD style, DWORD extendedStyle, int id, HFONT font) {
    HWND control = bx::check(CreateWindowExW(extendedStyle, className, text.c_str(),
                                             WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                             GetModuleHandleW(nullptr), nullptr),
                             "CreateWindowExW(control)");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
}

void LauncherWindow::initialize() {
    dpi = static_cast<int>(GetDpiForWindow(hwnd));
    layoutDpi = choose_layout_dpi();
    create_drawing_objects();
    create_controls();
    subclass_inputs();

    const int margin = MulDiv(8, layoutDpi, 96);
    for (HWND edit : {usernameEdit, passwordEdit}) {
        SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                     MAKELPARAM(margin, margin));
    }
    if (settings.rememberUsername) {
        SetWindowTextW(usernameEdit, settings.savedUsername.c_str());
        SendMessageW(rememberCheck, BM_SETCHECK, BST_CHECKED, 0);
    }
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(hwnd, kImmersiveDarkMode, &dark, sizeof dark);

    layout();
    // A remembered user name is filled in: the player types the password first.
    lastFocus = input_to_fill();
    SetFocus(lastFocus);
    bx::start_status_thread(hwnd, config);

    if (config.autoDownloadWhenMissing && !config.patchManifestUrl.empty() &&
        bx::game_executable_missing(config)) {
        show_status(L"Primera vez: descargando el juego completo\u2026", false);
        PostMessageW(hwnd, WM_APP_AUTO_DOWNLOAD, 0, 0);
    }
}

void LauncherWindow::create_drawing_objects() {
    const bx::LauncherBranding& branding = config.branding;
    const bx::BrandingColors& colors = branding.colors;
    backgroundBrush.reset(CreateSolidBrush(bx::to_colorref(colors.background)));
    panelBrush.reset(CreateSolidBrush(bx::to_colorref(colors.card)));
    fieldBrush.reset(CreateSolidBrush(bx::to_colorref(colors.field)));

    bodyFont.reset(create_font(10, 400, layoutDpi, branding.fontFamily));
    smallFont.reset(create_font(8, 400, layoutDpi, branding.fontFamily));
    labelFont.reset(create_font(9, 600, layoutDpi, branding.fontFamily));
    headingFont.reset(create_font(19, 600, layoutDpi, branding.fontFamily));
    titleFont.reset(create_font(32, 900, layoutDpi, branding.fontFamily));
    buttonFont.reset(create_font(10, 600, layoutDpi, branding.fontFamily));
}

// In creation order, which is also the order of Tab among the inputs.
void LauncherWindow::create_controls() {
    const bx::LauncherBranding& branding = config.branding;
    // One-line texts end in an ellipsis when they do not fit, instead of showing the top of
    // a second line or a letter cut in half.
    heading = create_control(L"STATIC", branding.panelTitle, SS_ENDELLIPSIS, 0, 0,
                             headingFont.get());
    serverState = create_control(L"STATIC", branding.statusChecking, SS_ENDELLIPSIS, 0, 0,
                                 labelFont.get());
    usernameLabel = create_control(L"STATIC", branding.usernameLabel, SS_ENDELLIPSIS, 0, 0,
                                   smallFont.get());
    usernameEdit = create_control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                                  IDC_USERNAME, bodyFont.get());
    passwordLabel = create_control(L"STATIC", branding.passwordLabel, SS_ENDELLIPSIS, 0, 0,
                                   smallFont.get());
    passwordEdit = create_control(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD,
                                  WS_EX_CLIENTEDGE, IDC_PASSWORD, bodyFont.get());
    rememberCheck = create_control(L"BUTTON", branding.rememberUsername,
                                   WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_REMEMBER, bodyFont.get());
    // Without visual styles the check box takes the panel's colours.
    SetWindowTheme(rememberCheck, L"", L"");
    playButton = create_control(L"BUTTON", branding.playButton, WS_TABSTOP | BS_OWNERDRAW, 0,
                                IDOK, buttonFont.get());
    downloadButton = create_control(L"BUTTON", branding.checkFilesButton,
                                    WS_TABSTOP | BS_OWNERDRAW, 0, IDC_DOWNLOAD, buttonFont.get());
    progressBar = create_control(PROGRESS_CLASSW, L"", PBS_SMOOTH, 0, 0, bodyFont.get());
    SetWindowTheme(progressBar, L"", L"");
    SendMessageW(progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(progressBar, PBM_SETBARCOLOR, 0, bx::to_colorref(branding.colors.accent));
    SendMessageW(progressBar, PBM_SETBKCOLOR, 0, bx::to_colorref(branding.colors.field));
    ShowWindow(progressBar, SW_HIDE);  // shown while an operation runs
    // Drawn by the window: its lines end in an ellipsis where the text goes on.
    statusText = create_control(L"STATIC", branding.idleText, SS_OWNERDRAW, 0, 0,
                                smallFont.get());
    // The bottom line's texts are placed no wider than the column: what does not fit is cut.
    accountPrompt = create_control(L"STATIC", branding.accountPrompt, SS_ENDELLIPSIS, 0, 0,
                                   bodyFont.get());
    registerLink = create_control(L"STATIC", branding.registerLink, SS_NOTIFY | SS_ENDELLIPSIS, 0,
                                  IDC_REGISTER_LINK, bodyFont.get());
    EnableWindow(registerLink, config.registrationUrl.empty() ? FALSE : TRUE);
}

// The starting size and position: the design size where the monitor's work area holds it,
// else as much as the work area holds (never below the minimum), and wholly inside it.
void LauncherWindow::place_on_screen() {
    const BottomLineWidths line = measure_bottom_line();
    const SIZE size = window_size_for(
        bx::starting_client_size(layoutDpi, line.prompt, line.link, available_client_area()),
        dpi);
    RECT proposed{};
    GetWindowRect(hwnd, &proposed);
    const bx::Bounds work = work_area_of(hwnd);
    const bx::ScreenPoint at =
        bx::position_inside(work, {proposed.left, proposed.top}, size.cx, size.cy);
    SetWindowPos(hwnd, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

BottomLineWidths LauncherWindow::measure_bottom_line() const {
    return {measure_text_width(hwnd, bodyFont.get(), config.branding.accountPrompt),
            measure_text_width(hwnd, bodyFont.get(), config.branding.registerLink)};
}

// The client area that the work area of the window's monitor leaves beside the frame.
bx::ClientSize LauncherWindow::available_client_area() const {
    const bx::Bounds work = work_area_of(hwnd);
    const SIZE frame = window_size_for({0, 0}, dpi);
    return {work.right - work.left - frame.cx, work.bottom - work.top - frame.cy};
}

// Decided once, before the fonts exist: the bottom line is measured in a body font at the
// window's own DPI.
int LauncherWindow::choose_layout_dpi() const {
    const bx::UniqueFont font(create_font(10, 400, dpi, config.branding.fontFamily));
    return bx::fitting_layout_dpi(
        dpi, available_client_area(),
        measure_text_width(hwnd, font.get(), config.branding.accountPrompt),
        measure_text_width(hwnd, font.get(), config.branding.registerLink));
}

// The inputs tell the window when they get the focus, and the two owner-drawn buttons answer
// the dialog manager as push buttons do.
void LauncherWindow::subclass_inputs() {
    for (HWND input : {usernameEdit, passwordEdit, rememberCheck, playButton, downloadButton}) {
        bx::check(SetWindowSubclass(input, &LauncherWindow::input_proc, 0,
                                    reinterpret_cast<DWORD_PTR>(this)),
                  "SetWindowSubclass");
    }
}

LRESULT CALLBACK LauncherWindow::input_proc(HWND control, UINT message, WPARAM wParam,
                                            LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<LauncherWindow*>(data);
    const bool pushButton = control == self->playButton || control == self->downloadButton;
    switch (message) {
    case WM_SETFOCUS:
        // The one record of where the focus is, for minimise, activation and message boxes.
        self->lastFocus = control;
        break;
    case WM_GETDLGCODE:
        if (pushButton) {
            // An owner-drawn button says only that it is a button. As a push button, the
            // focused one is the default: Enter presses it (IsDialogMessageW); with the focus
            // elsewhere, Enter presses the default, play (DM_GETDEFID).
            return DLGC_BUTTON |
                   (GetFocus() == control ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        break;
    case BM_SETSTYLE:
        if (pushButton) {
            // The dialog manager marks the default push button with this style; the button's
            // own handling would replace BS_OWNERDRAW. The look does not change.
            if (LOWORD(lParam) != 0) {
                InvalidateRect(control, nullptr, FALSE);
            }
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(control, &LauncherWindow::input_proc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

void LauncherWindow::layout() {
    RECT client{};
    GetClientRect(hwnd, &client);
    const BottomLineWidths line = measure_bottom_line();
    const bx::WindowLayout placed =
        bx::compute_layout(client.right, client.bottom, layoutDpi,
                           config.branding.heroWidthPercent, line.prompt, line.link);
    panelRect = {placed.panel.left, placed.panel.top, placed.panel.right, placed.panel.bottom};
    heroWidth = placed.heroWidth;

    const auto move = [](HWND control, const bx::Placement& at) {
        MoveWindow(control, at.x, at.y, at.width, at.height, TRUE);
    };
    for (int i = 0; i < bx::kColumnControlCount; ++i) {
        const auto control = static_cast<bx::ColumnControl>(i);
        move(column_control(control), placed[control]);
    }
    move(accountPrompt, placed.accountPrompt);
    move(registerLink, placed.registerLink);
    fit_remember_caption(placed[bx::ColumnControl::rememberCheck].width);
}

HWND LauncherWindow::column_control(bx::ColumnControl control) const {
    switch (control) {
    case bx::ColumnControl::heading: return heading;
    case bx::ColumnControl::serverState: return serverState;
    case bx::ColumnControl::usernameLabel: return usernameLabel;
    case bx::ColumnControl::usernameEdit: return usernameEdit;
    case bx::ColumnControl::passwordLabel: return passwordLabel;
    case bx::ColumnControl::passwordEdit: return passwordEdit;
    case bx::ColumnControl::rememberCheck: return rememberCheck;
    case bx::ColumnControl::playButton: return playButton;
    case bx::ColumnControl::downloadButton: return downloadButton;
    case bx::ColumnControl::progressBar: return progressBar;
    case bx::ColumnControl::statusText: return statusText;
    case bx::ColumnControl::count: break;
    }
    return nullptr;
}

// A check box has no ellipsis style: its caption is cut to what fits beside the box.
void LauncherWindow::fit_remember_caption(int width) {
    const bx::WindowDc dc(hwnd);
    const bx::SelectedObject selected(dc.get(), bodyFont.get());
    // The box and the gap after it, at the window's own DPI, at which the box is drawn.
    const int textRoom = width - MulDiv(20, dpi, 96);
    std::wstring caption =
        bx::fit_one_line(config.branding.rememberUsername, textRoom,
                         [&dc](std::wstring_view text) { return text_width(dc.get(), text); });
    if (caption != rememberCaption) {
        rememberCaption = std::move(caption);
        SetWindowTextW(rememberCheck, rememberCaption.c_str());
    }
}

// Small enough to drag, large enough that the layout keeps every control inside the client
// area without overlaps. Until WM_CREATE has run both DPIs are 96.
SIZE LauncherWindow::minimum_window_size() const {
    const BottomLineWidths line = measure_bottom_line();
    return window_size_for(bx::minimum_client_size(layoutDpi, line.prompt, line.link), dpi);
}

void LauncherWindow::paint() {
    const bx::PaintDc dc(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    bx::PaintObjects objects;
    objects.backgroundBrush = backgroundBrush.get();
    objects.panelBrush = panelBrush.get();
    objects.bodyFont = bodyFont.get();
    objects.labelFont = labelFont.get();
    objects.titleFont = titleFont.get();
    objects.buttonFont = buttonFont.get();
    objects.heroBitmap = heroBitmap.get();
    objects.panelRect = panelRect;
    objects.heroWidth = heroWidth;
    objects.dpi = layoutDpi;
    bx::paint_window(dc.get(), client.right, client.bottom, config, objects);
}

LRESULT LauncherWindow::control_color(UINT message, HDC dc, HWND control) {
    const bx::BrandingColors& colors = config.branding.colors;
    if (message == WM_CTLCOLOREDIT) {
        SetTextColor(dc, bx::to_colorref(colors.text));
        SetBkColor(dc, bx::to_colorref(colors.field));
        return reinterpret_cast<LRESULT>(fieldBrush.get());
    }
    if (message == WM_CTLCOLORBTN) {
        SetTextColor(dc, bx::to_colorref(colors.muted));
        SetBkColor(dc, bx::to_colorref(colors.card));
        return reinterpret_cast<LRESULT>(panelBrush.get());
    }
    std::uint32_t textColor = colors.muted;
    if (control == heading) {
        textColor = colors.text;
    } else if (control == serverState) {
        textColor = serverOnline ? colors.success : colors.accent;
    } else if (control == registerLink) {
        textColor = colors.accent;
    } else if (control == statusText) {
        textColor = statusIsError ? colors.accent : colors.muted;
    }
    SetTextColor(dc, bx::to_colorref(textColor));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(panelBrush.get());
}

void LauncherWindow::on_command(WPARAM wParam) {
    if (LOWORD(wParam) == IDC_PASSWORD && HIWORD(wParam) == EN_CHANGE) {
        passwordLongest = std::max(passwordLongest, GetWindowTextLengthW(passwordEdit));
        return;
    }
    if (HIWORD(wParam) != 0) {
        return;
    }
    switch (LOWORD(wParam)) {
    case IDOK:
        begin_operation(true);
        break;
    case IDC_DOWNLOAD:
        begin_operation(false);
        break;
    case IDC_REGISTER_LINK:
        if (!config.registrationUrl.empty()) {
            ShellExecuteW(hwnd, L"open", config.registrationUrl.c_str(), nullptr, nullptr,
                          SW_SHOWNORMAL);
        }
        break;
    default:
        break;
    }
}

void LauncherWindow::show_status(const std::wstring& text, bool error) {
    statusIsError = error;
    SetWindowTextW(statusText, text.c_str());
    InvalidateRect(statusText, nullptr, TRUE);
}

void LauncherWindow::refuse_request(const std::wstring& text, bool play) {
    show_status(text, true);
    if (play) {
        // Once the box is closed, the player fills in the first empty box.
        focus_next_input();
    }
    MessageBoxW(hwnd, text.c_str(), config.serverName.c_str(), MB_ICONWARNING);
}

void LauncherWindow::set_inputs_enabled(bool enabled) {
    for (HWND input : {usernameEdit, passwordEdit, rememberCheck, playButton, downloadButton}) {
        EnableWindow(input, enabled ? TRUE : FALSE);
    }
}

void LauncherWindow::begin_operation(bool play) {
    if (busy) {
        return;
    }
    const std::wstring userName = bx::trim_user_name(read_window_text(usernameEdit));
    std::wstring password;
    const bx::ScopedWipe wipePassword(password);
    read_window_text(passwordEdit, password);

    const std::wstring refusal = bx::request_refusal(play, userName, password,
                                                     !config.patchManifestUrl.empty());
    if (!refusal.empty()) {
        refuse_request(refusal, play);
        return;
    }

    busy = true;
    set_inputs_enabled(false);
    ShowWindow(progressBar, SW_SHOW);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    RedrawWindow(playButton, nullptr, nullptr, RDW_INVALIDATE);
    RedrawWindow(downloadButton, nullptr, nullptr, RDW_INVALIDATE);
    const bool remember = SendMessageW(rememberCheck, BM_GETCHECK, 0, 0) == BST_CHECKED;

    try {
        auto request = std::make_unique<bx::OperationRequest>();
        request->configuration = config;
        request->window = hwnd;
        request->userName = userName;
        request->password = password;
        request->remember = remember;
        request->play = play;
        bx::start_operation_thread(std::move(request));
    } catch (...) {
        // No worker will ever report: unlock the window before the guard shows the failure.
        return_to_idle();
        throw;
    }
}

void LauncherWindow::return_to_idle() {
    busy = false;
    set_inputs_enabled(true);
    ShowWindow(progressBar, SW_HIDE);
    SendMessageW(progressBar, PBM_SETPOS, 0, 0);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    RedrawWindow(playButton, nullptr, nullptr, RDW_INVALIDATE);
    RedrawWindow(downloadButton, nullptr, nullptr, RDW_INVALIDATE);
    focus_next_input();
}

// Where the player goes on: the user name while it is blank, else the password.
HWND LauncherWindow::input_to_fill() const {
    return bx::trim_user_name(read_window_text(usernameEdit)).empty() ? usernameEdit
                                                                      : passwordEdit;
}

// Disabling the inputs left the focus on no control, and a refused request leaves it on the
// play button. It goes where the player goes on; a password is selected so that typing
// replaces it.
void LauncherWindow::focus_next_input() {
    lastFocus = input_to_fill();
    if (lastFocus == passwordEdit) {
        SendMessageW(passwordEdit, EM_SETSEL, 0, -1);
    }
    // A window in the background gets it when it is activated again.
    if (GetForegroundWindow() == hwnd) {
        SetFocus(lastFocus);
    }
}

// As a dialog box does: the input that had the focus (the inputs report it as they get it)
// gets it back when the window is activated again or the focus lands on the window itself,
// after a message box, another program or a minimise. False while that input is disabled
// by a running operation: the window keeps the focus itself.
bool LauncherWindow::restore_focus() {
    if (lastFocus == nullptr || !IsWindowEnabled(lastFocus)) {
        return false;
    }
    SetFocus(lastFocus);
    return true;
}

// WM_NEXTDLGCTL, which the dialog manager sends for Alt and a label's underlined letter: to
// the label, then on to the next tab stop, the label's box. A normal window ignores it.
void LauncherWindow::move_focus(WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) != 0
                      ? reinterpret_cast<HWND>(wParam)
                      : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0 ? TRUE : FALSE);
    if (target == nullptr || !IsChild(hwnd, target)) {
        return;
    }
    SetFocus(target);
    // As in a dialog, an edit box reached from the keyboard has its text selected.
    if ((SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
        SendMessageW(target, EM_SETSEL, 0, -1);
    }
}

void LauncherWindow::on_server_status(LPARAM lParam) {
    const StatusPayload online = take_payload<StatusPayload>(lParam);
    serverOnline = online && *online;
    const std::wstring& text =
        serverOnline ? config.branding.statusOnline : config.branding.statusOffline;
    SetWindowTextW(serverState, text.c_str());
    InvalidateRect(serverState, nullptr, TRUE);
}

void LauncherWindow::on_progress(LPARAM lParam) {
    const ProgressPayload progress = take_payload<ProgressPayload>(lParam);
    if (!progress) {
        return;
    }
    show_status(bx::format_progress_text(*progress), false);
    SendMessageW(progressBar, PBM_SETPOS, static_cast<WPARAM>(bx::progress_position(*progress)),
                 0);
}

void LauncherWindow::on_operation_done(LPARAM lParam) {
    const ResultPayload result = take_payload<ResultPayload>(lParam);
    return_to_idle();
    if (!result) {
        return;
    }
    if (result->success) {
        show_status(result->message, false);
        bx::wipe_edit_text(passwordEdit, passwordLongest);
        passwordLongest = 0;
        if (result->closeWindow) {
            DestroyWindow(hwnd);
        }
        return;
    }
    show_status(result->message, true);
    MessageBoxW(hwnd, result->message.c_str(), config.serverName.c_str(), MB_ICONWARNING);
}

LRESULT LauncherWindow::handle_message(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        initialize();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (heading != nullptr) {
            layout();
        }
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_ACTIVATE:
        // Minimised, the window keeps no focus; otherwise the system's own handling focuses
        // the window itself.
        if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0 && restore_focus()) {
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETFOCUS:
        restore_focus();
        return 0;
    case WM_NEXTDLGCTL:
        move_focus(wParam, lParam);
        return 0;
    case DM_GETDEFID:
        // Enter with the focus on no push button presses play.
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_GETMINMAXINFO: {
        const SIZE minimum = minimum_window_size();
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {minimum.cx, minimum.cy};
        return 0;
    }
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID == IDOK || item->CtlID == IDC_DOWNLOAD) {
            bx::draw_button(*item, item->CtlID == IDOK, config.branding.colors,
                            buttonFont.get());
        } else if (item->hwndItem == statusText) {
            const bx::BrandingColors& colors = config.branding.colors;
            bx::draw_status_line(*item, panelBrush.get(), smallFont.get(),
                                 statusIsError ? colors.accent : colors.muted);
        }
        return TRUE;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return control_color(message, reinterpret_cast<HDC>(wParam),
                             reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        on_command(wParam);
        return 0;
    case WM_APP_SERVER_STATUS:
        on_server_status(lParam);
        return 0;
    case WM_APP_PROGRESS:
        on_progress(lParam);
        return 0;
    case WM_APP_OPERATION_DONE:
        on_operation_done(lParam);
        return 0;
    case WM_APP_AUTO_DOWNLOAD:
        if (!busy) {
            begin_operation(false);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK LauncherWindow::window_proc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<LauncherWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<LauncherWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->handle_message(window, message, wParam, lParam);
    } catch (const std::exception& failure) {
        // Nothing may unwind through the system's code: show the failure and answer 0.
        MessageBoxW(window, bx::display_text(failure.what()).c_str(), kGuardCaption,
                    MB_ICONERROR);
        return 0;
    }
}

}  // namespace

namespace bx {

int run_launcher_window(LauncherConfig config, HINSTANCE instance, int showCommand) {
    LauncherWindow window(std::move(config));
    window.load_icon(instance);
    window.load_hero_picture(instance);
    window.add_private_fonts();
    window.register_class(instance);
    const std::wstring title = window.title();
    window.create(instance, title, showCommand);
    return window.run_message_loop();
}

}  // namespace bx
