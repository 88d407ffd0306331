#pragma once

#include <windows.h>

#include <string>

namespace bx {

// Overwrites a secret's whole buffer (also the capacity beyond its size, which may hold an
// older copy) with zeros that the optimiser may not remove, then empties it.
template <class Char>
void secure_wipe(std::basic_string<Char>& secret) noexcept {
    secret.resize(secret.capacity());
    SecureZeroMemory(secret.data(), secret.size() * sizeof(Char));
    secret.clear();
}

inline void secure_wipe(void* data, std::size_t size) noexcept { SecureZeroMemory(data, size); }

// Wipes the string when the scope ends, on every path.
template <class Char>
class ScopedWipe {
public:
    explicit ScopedWipe(std::basic_string<Char>& secret) noexcept : secret_(secret) {}
    ~ScopedWipe() { secure_wipe(secret_); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    std::basic_string<Char>& secret_;
};

}  // namespace bx
