// What secure_wipe takes, decided at compile time, and that what it takes leaves nothing behind.
#include "launcher/platform/secure.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

template <class Secret>
constexpr bool kWipeable = requires(Secret& secret) { bx::secure_wipe(secret); };

template <class Secret>
constexpr bool kGuardable = requires { typename bx::ScopedWipe<Secret>; };

struct Credentials {
    std::string user;
    std::string password;
};

// Buffers whose every byte is the secret, and lists of text.
static_assert(kWipeable<std::string>);
static_assert(kWipeable<std::wstring>);
static_assert(kWipeable<std::vector<char>>);
static_assert(kWipeable<std::vector<UCHAR>>);
static_assert(kWipeable<std::vector<std::byte>>);
static_assert(kWipeable<std::vector<std::wstring>>);
static_assert(kGuardable<std::string>);
static_assert(kGuardable<std::vector<UCHAR>>);

// Objects that own their text elsewhere: zeroing them would leave the text.
static_assert(!kWipeable<std::vector<Credentials>>);
static_assert(!kWipeable<std::vector<std::vector<char>>>);
static_assert(!kWipeable<std::vector<char*>>);
static_assert(!kWipeable<std::vector<bool>>);  // packed bits, not bytes
static_assert(!kWipeable<const std::string>);
static_assert(!kGuardable<std::vector<Credentials>>);
static_assert(!kGuardable<const std::wstring>);

// Counts the bytes that are not zero in every block it gives back.
std::size_t g_released_nonzero_bytes = 0;

template <class T>
struct InspectingAllocator {
    using value_type = T;
    InspectingAllocator() noexcept = default;
    template <class U>
    InspectingAllocator(const InspectingAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) { return static_cast<T*>(::operator new(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) noexcept {
        const auto* bytes = reinterpret_cast<const unsigned char*>(block);
        g_released_nonzero_bytes += static_cast<std::size_t>(std::count_if(
            bytes, bytes + count * sizeof(T), [](unsigned char byte) { return byte != 0; }));
        ::operator delete(block);
    }
    template <class U>
    bool operator==(const InspectingAllocator<U>&) const noexcept {
        return true;
    }
};

template <class Char>
using InspectedString = std::basic_string<Char, std::char_traits<Char>, InspectingAllocator<Char>>;

// Each case makes a secret whose text also lies beyond its size (as after a shortening or an
// earlier, longer value), lets a ScopedWipe guard it when asked, and gives it back.
struct WipeCase {
    const char* kind;
    std::function<void(bool wipe)> make_and_release;
};

TEST(SecureWipe, LeavesNoByteOfTheSecretInTheMemoryItGivesBack) {
    const WipeCase cases[] = {
        {"string",
         [](bool wipe) {
             InspectedString<char> secret(64, 's');
             secret.erase(8);
             if (wipe) {
                 const bx::ScopedWipe guard(secret);
             }
         }},
        {"wide string",
         [](bool wipe) {
             InspectedString<wchar_t> secret(64, L's');
             secret.erase(8);
             if (wipe) {
                 const bx::ScopedWipe guard(secret);
             }
         }},
        {"bytes",
         [](bool wipe) {
             std::vector<char, InspectingAllocator<char>> secret(64, 's');
             secret.resize(8);
             if (wipe) {
                 const bx::ScopedWipe guard(secret);
                 ASSERT_EQ(secret.size(), 8u);  // the wipe keeps the size
             }
         }},
        {"list of texts",
         [](bool wipe) {
             std::vector<InspectedString<wchar_t>> secrets(3);
             for (InspectedString<wchar_t>& secret : secrets) {
                 secret.assign(40, L's');
             }
             secrets[1].erase(4);
             if (wipe) {
                 const bx::ScopedWipe guard(secrets);
             }
         }},
    };
    for (const WipeCase& c : cases) {
        SCOPED_TRACE(c.kind);
        g_released_nonzero_bytes = 0;
        c.make_and_release(false);
        EXPECT_GT(g_released_nonzero_bytes, 0u) << "unwiped, the secret should be seen";
        g_released_nonzero_bytes = 0;
        c.make_and_release(true);
        EXPECT_EQ(g_released_nonzero_bytes, 0u);
    }
}

}  // namespace
