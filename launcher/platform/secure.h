// Secrets (passwords, tokens, the request bodies and command lines that hold them) are
// overwritten with zeros that the optimiser may not remove before their memory goes back.
//
// Only what can really be wiped is accepted: text and byte buffers whose every byte is the
// secret (a string, or a vector of bytes or characters), and lists of such text. A vector of
// structs holding strings, or of pointers, would have its objects zeroed and the text they own
// left behind; it does not compile.
//
// Wiping covers the objects it is given, not copies of them. A secret that can be short is
// therefore made in the object that will be wiped (an out-parameter guarded by a ScopedWipe),
// not returned by value: a short text lives inside the string object, and a returned one is
// copied out of the callee's frame unless the compiler elides that copy, which the language
// does not promise. (A move hands a long text's heap buffer over without copying it.)
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

namespace bx {

// The units whose bytes are their whole value: characters and bytes.
template <class Unit>
concept WipeableUnit = (std::is_integral_v<Unit> && !std::is_same_v<Unit, bool>) ||
                       std::is_same_v<Unit, std::byte>;

// Overwrites a secret's whole buffer (also the capacity beyond its size, which may hold an
// older copy), then empties it.
template <WipeableUnit Char, class Traits, class Allocator>
void secure_wipe(std::basic_string<Char, Traits, Allocator>& secret) noexcept {
    secret.resize(secret.capacity());
    SecureZeroMemory(secret.data(), secret.size() * sizeof(Char));
    secret.clear();
}

// The same for each text of a list.
template <WipeableUnit Char, class Traits, class StringAllocator, class Allocator>
void secure_wipe(
    std::vector<std::basic_string<Char, Traits, StringAllocator>, Allocator>& secrets) noexcept {
    for (auto& secret : secrets) {
        secure_wipe(secret);
    }
}

// Overwrites the bytes of a buffer, also its capacity beyond its size; its size stays.
template <WipeableUnit Byte, class Allocator>
void secure_wipe(std::vector<Byte, Allocator>& bytes) noexcept {
    const std::size_t size = bytes.size();
    bytes.resize(bytes.capacity());  // within the capacity: no allocation, so no throw
    SecureZeroMemory(bytes.data(), bytes.size() * sizeof(Byte));
    bytes.resize(size);
}

// What secure_wipe takes.
template <class Secret>
concept Wipeable = requires(Secret& secret) { secure_wipe(secret); };

// Wipes the secret and gives its memory back at once.
inline void wipe_and_release(std::string& text) noexcept {
    secure_wipe(text);
    std::string().swap(text);
}

// Wipes a secret (any of the kinds above) when the scope ends, on every path.
template <Wipeable Secret>
class ScopedWipe {
public:
    explicit ScopedWipe(Secret& secret) noexcept : secret_(secret) {}
    ~ScopedWipe() { secure_wipe(secret_); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    Secret& secret_;
};

}  // namespace bx
