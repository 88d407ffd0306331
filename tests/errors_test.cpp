// Which results `check` takes, decided at compile time, and what it does with them.
#include "launcher/platform/errors.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <bcrypt.h>   // NTSTATUS
#include <winhttp.h>  // HINTERNET
#include <winreg.h>   // LSTATUS

#include <string>
#include <system_error>

#include "launcher/platform/unique.h"

namespace {

template <class Result>
constexpr bool kCheckable = requires(Result result) { bx::check(result, "Call"); };

// Results whose failure is their zero: null handles and pointers, FALSE, zero counts and atoms.
static_assert(kCheckable<HANDLE>);
static_assert(kCheckable<HWND>);
static_assert(kCheckable<HINTERNET>);
static_assert(kCheckable<LPWSTR*>);
static_assert(kCheckable<BOOL>);
static_assert(kCheckable<int>);
static_assert(kCheckable<UINT>);
static_assert(kCheckable<DWORD>);
static_assert(kCheckable<ATOM>);

// Results whose zero is success: a check would throw on every success.
static_assert(!kCheckable<HRESULT>);
static_assert(!kCheckable<LSTATUS>);
static_assert(!kCheckable<NTSTATUS>);
static_assert(!kCheckable<LONG>);

// Nor anything that merely converts to bool.
static_assert(!kCheckable<bool>);
static_assert(!kCheckable<bx::UniqueHandle>);
static_assert(!kCheckable<LONGLONG>);

TEST(Check, PassesASuccessOnAndThrowsTheCallsOwnErrorForAFailure) {
    const bx::UniqueHandle event(
        bx::check(CreateEventW(nullptr, TRUE, FALSE, nullptr), "CreateEventW"));
    EXPECT_TRUE(event);
    EXPECT_EQ(bx::check(SetEvent(event.get()), "SetEvent"), TRUE);
    try {
        bx::check(SetEvent(nullptr), "SetEvent(no event)");
        ADD_FAILURE() << "a failed SetEvent passed";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(std::string(error.what()).rfind("SetEvent(no event): ", 0), 0u) << error.what();
    }
}

}  // namespace
