// One way to own a Windows handle or a block of system memory: Unique<Traits> holds one value
// and closes it once, when it is reset or destroyed. The traits say how to close and what
// "empty" is; each kind has a name of its own, so a declaration says what it owns.
// Declare owners in the order they must be released, last first: the destructor writes itself.
//
// The kinds that <windows.h> declares are named below. A kind from another header is named
// where that header is already included, so that owning a handle brings in no other header:
// UniqueInternet in net/http.h (WinHTTP), UniqueAlgorithm and UniqueHash in sync/sha256.cpp
// (CNG), UniqueCoTaskMemory in config/settings.cpp (COM memory).
#pragma once

#include <windows.h>

namespace bx {

template <class Traits>
class Unique {
public:
    using type = typename Traits::type;

    Unique() noexcept = default;
    explicit Unique(type value) noexcept : value_(value) {}
    ~Unique() { reset(); }
    Unique(Unique&& other) noexcept : value_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::empty(); }

    // Closes what is held (unless it is `value` itself) and holds `value`.
    void reset(type value = Traits::empty()) noexcept {
        if (value_ != Traits::empty() && value_ != value) {
            Traits::close(value_);
        }
        value_ = value;
    }

    // Gives up ownership without closing: the caller closes it (and may check the result).
    type release() noexcept {
        const type value = value_;
        value_ = Traits::empty();
        return value;
    }

    // For an out-parameter: closes what is held and returns where the call puts the new value.
    type* put() noexcept {
        reset();
        return &value_;
    }

private:
    type value_ = Traits::empty();
};

// The traits of every kind whose empty value is NULL: only the call that closes it differs.
template <class Type, void (*Close)(Type) noexcept>
struct NullEmptyTraits {
    using type = Type;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { Close(value); }
};

namespace close_calls {
inline void close_handle(HANDLE value) noexcept { CloseHandle(value); }
template <class Pointer>
void free_local_memory(Pointer value) noexcept { LocalFree(value); }
template <class Interface>
void release(Interface* value) noexcept { value->Release(); }
template <class Object>
void delete_object(Object value) noexcept { DeleteObject(value); }
inline void destroy_icon(HICON value) noexcept { DestroyIcon(value); }
}  // namespace close_calls

// Kernel objects that CreateFileW gives: INVALID_HANDLE_VALUE is empty.
struct FileTraits {
    using type = HANDLE;
    static type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type value) noexcept { CloseHandle(value); }
};
using UniqueFile = Unique<FileTraits>;

// CreateFileW, through which every file and folder handle here is opened (tests and fixtures
// too): it fails with INVALID_HANDLE_VALUE, not NULL, and a HANDLE's type does not tell the two
// apart, so its result goes straight into the owner that knows which is empty. An empty owner
// is a failure; GetLastError() says why.
inline UniqueFile create_file(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                              DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL) noexcept {
    return UniqueFile(
        CreateFileW(path, access, share, nullptr, disposition, flagsAndAttributes, nullptr));
}

// Kernel objects that other calls give (processes, threads, mutexes).
using UniqueHandle = Unique<NullEmptyTraits<HANDLE, close_calls::close_handle>>;

// Memory from LocalAlloc, which CommandLineToArgvW hands out.
template <class Pointer>
using UniqueLocalMemory = Unique<NullEmptyTraits<Pointer, close_calls::free_local_memory<Pointer>>>;

// One reference to a COM object.
template <class Interface>
using UniqueCom = Unique<NullEmptyTraits<Interface*, close_calls::release<Interface>>>;

// A font, brush or pen that the caller created.
using UniqueFont = Unique<NullEmptyTraits<HFONT, close_calls::delete_object<HFONT>>>;
using UniqueBrush = Unique<NullEmptyTraits<HBRUSH, close_calls::delete_object<HBRUSH>>>;
using UniquePen = Unique<NullEmptyTraits<HPEN, close_calls::delete_object<HPEN>>>;

// An icon loaded from a file; a shared (LR_SHARED) icon belongs to the system and is not owned.
using UniqueIcon = Unique<NullEmptyTraits<HICON, close_calls::destroy_icon>>;

}  // namespace bx
