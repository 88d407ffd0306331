// Secrets (passwords, tokens, the request bodies and command lines that hold them) are
// overwritten with zeros that the optimiser may not remove before their memory goes back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bx {

// Overwrites a secret's whole buffer (also the capacity beyond its size, which may hold an
// older copy), then empties it.
template <class Char>
void secure_wipe(std::basic_string<Char>& secret) noexcept {
    secret.resize(secret.capacity());
    SecureZeroMemory(secret.data(), secret.size() * sizeof(Char));
    secret.clear();
}

// The same for each text of a list.
template <class Char>
void secure_wipe(std::vector<std::basic_string<Char>>& secrets) noexcept {
    for (std::basic_string<Char>& secret : secrets) {
        secure_wipe(secret);
    }
}

// Overwrites the bytes of a buffer; its size stays.
template <class Byte>
void secure_wipe(std::vector<Byte>& bytes) noexcept {
    SecureZeroMemory(bytes.data(), bytes.size() * sizeof(Byte));
}

// Wipes the secret and gives its memory back at once.
inline void wipe_and_release(std::string& text) noexcept {
    secure_wipe(text);
    std::string().swap(text);
}

// Wipes a secret (any of the kinds above) when the scope ends, on every path.
template <class Secret>
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
