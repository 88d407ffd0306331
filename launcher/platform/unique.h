// One way to own a Windows handle or a block of system memory: Unique<Traits> holds one value
// and closes it once, when it is reset or destroyed. The traits say how to close and what
// "empty" is; each kind has a name of its own below, so a declaration says what it owns.
// Declare owners in the order they must be released, last first: the destructor writes itself.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <winhttp.h>

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

// Kernel objects that CreateFileW gives: INVALID_HANDLE_VALUE is empty.
struct FileTraits {
    using type = HANDLE;
    static type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type value) noexcept { CloseHandle(value); }
};
using UniqueFile = Unique<FileTraits>;

// Kernel objects that other calls give (processes, threads): NULL is empty.
struct HandleTraits {
    using type = HANDLE;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { CloseHandle(value); }
};
using UniqueHandle = Unique<HandleTraits>;

struct InternetTraits {
    using type = HINTERNET;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { WinHttpCloseHandle(value); }
};
using UniqueInternet = Unique<InternetTraits>;

struct AlgorithmTraits {
    using type = BCRYPT_ALG_HANDLE;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { BCryptCloseAlgorithmProvider(value, 0); }
};
using UniqueAlgorithm = Unique<AlgorithmTraits>;

struct HashTraits {
    using type = BCRYPT_HASH_HANDLE;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { BCryptDestroyHash(value); }
};
using UniqueHash = Unique<HashTraits>;

// Memory that the shell hands out (SHGetKnownFolderPath and the like).
template <class Pointer>
struct CoTaskMemoryTraits {
    using type = Pointer;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { CoTaskMemFree(value); }
};
template <class Pointer>
using UniqueCoTaskMemory = Unique<CoTaskMemoryTraits<Pointer>>;

// Memory from LocalAlloc, which CommandLineToArgvW hands out.
template <class Pointer>
struct LocalMemoryTraits {
    using type = Pointer;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { LocalFree(value); }
};
template <class Pointer>
using UniqueLocalMemory = Unique<LocalMemoryTraits<Pointer>>;

// One reference to a COM object.
template <class Interface>
struct ComTraits {
    using type = Interface*;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { value->Release(); }
};
template <class Interface>
using UniqueCom = Unique<ComTraits<Interface>>;

// A font, brush or pen that the caller created.
template <class Object>
struct GdiObjectTraits {
    using type = Object;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { DeleteObject(value); }
};
using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniqueBrush = Unique<GdiObjectTraits<HBRUSH>>;
using UniquePen = Unique<GdiObjectTraits<HPEN>>;

// An icon loaded from a file; a shared (LR_SHARED) icon belongs to the system and is not owned.
struct IconTraits {
    using type = HICON;
    static type empty() noexcept { return nullptr; }
    static void close(type value) noexcept { DestroyIcon(value); }
};
using UniqueIcon = Unique<IconTraits>;

}  // namespace bx
