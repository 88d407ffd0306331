#include "launcher/platform/text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <system_error>

#include "launcher/platform/errors.h"
#include "launcher/platform/unique.h"
#include "scratch_folder.h"

namespace {

using bx_test::ScratchFolder;
using bx_test::write_bytes;

// The call name and code of a system error; its description is the platform's.
template <class Call>
void expect_system_error(Call call, int code, const std::string& call_name) {
    try {
        call();
        ADD_FAILURE() << "no exception for " << call_name;
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), code);
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_EQ(std::string(error.what()).rfind(call_name + ": ", 0), 0u) << error.what();
    }
}

std::string message_of(void (*thrower)(DWORD), DWORD code) {
    try {
        thrower(code);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

TEST(TextConversion, RoundTripsValidText) {
    const struct {
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"abc", L"abc"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"Reg\xC3\xADstrate aqu\xC3\xAD", L"Reg\u00EDstrate aqu\u00ED"},
        {"\xE2\x80\xA2  SERVIDOR", L"\u2022  SERVIDOR"},
        {"\xF0\x9F\x8E\xAE", L"\U0001F3AE"},  // outside the BMP: a surrogate pair
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bx::utf8_to_wide(c.utf8), c.wide) << c.utf8;
        EXPECT_EQ(bx::wide_to_utf8(c.wide), c.utf8) << c.utf8;
        std::string into;  // the form for secrets
        bx::wide_to_utf8(c.wide, into);
        EXPECT_EQ(into, c.utf8) << c.utf8;
    }
}

TEST(TextConversion, RefusesInvalidUtf8) {
    const std::string cases[] = {
        "\xFF",          // never valid
        "\xC0\xAF",      // overlong slash
        "\xED\xA0\x80",  // encoded surrogate
        "\xE2\x82",      // truncated sequence
        "a\x80z",        // stray continuation byte
    };
    for (const std::string& bad : cases) {
        SCOPED_TRACE(testing::PrintToString(bad));
        expect_system_error([&] { bx::utf8_to_wide(bad); }, ERROR_NO_UNICODE_TRANSLATION,
                            "MultiByteToWideChar");
    }
}

TEST(TextConversion, RefusesUnpairedSurrogates) {
    const std::wstring cases[] = {
        std::wstring(1, wchar_t(0xD800)),
        std::wstring(1, wchar_t(0xDC00)),
        std::wstring{L'a', wchar_t(0xD800), L'b'},
    };
    for (const std::wstring& bad : cases) {
        expect_system_error([&] { bx::wide_to_utf8(bad); }, ERROR_NO_UNICODE_TRANSLATION,
                            "WideCharToMultiByte");
    }
}

// A count above INT_MAX must be refused, not wrapped into -1 ("up to the NUL") or a short count.
// The memory is committed but never touched, so the test costs no real memory.
TEST(TextConversion, RefusesInputBeyondInt32Counts) {
    const std::size_t count = static_cast<std::size_t>(INT_MAX) + 1;
    void* memory = VirtualAlloc(nullptr, count * sizeof(wchar_t), MEM_RESERVE | MEM_COMMIT,
                                PAGE_READWRITE);
    if (memory == nullptr) GTEST_SKIP() << "could not reserve 4 GiB of address space";
    EXPECT_THROW(bx::utf8_to_wide(std::string_view(static_cast<const char*>(memory), count)),
                 std::length_error);
    EXPECT_THROW(bx::wide_to_utf8(std::wstring_view(static_cast<const wchar_t*>(memory), count)),
                 std::length_error);
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(DisplayText, ShowsUtf8AndNeverThrows) {
    EXPECT_EQ(bx::display_text("Reg\xC3\xADstrate"), L"Reg\u00EDstrate");
    EXPECT_EQ(bx::display_text(""), L"");
    // A runtime text in the ANSI code page is not UTF-8; it must still give something to show.
    const std::wstring shown = bx::display_text("Acc\xE8s refus\xE9");
    EXPECT_FALSE(shown.empty());
    if (GetACP() == 1252) {
        EXPECT_EQ(shown, L"Acc\u00E8s refus\u00E9");
    }
}

TEST(ReadFileBytes, DropsOneLeadingByteOrderMark) {
    ScratchFolder folder;
    const struct {
        std::string content;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBF", "\xEF\xBB\xBF"},
        {"\xEF\xBB", "\xEF\xBB"},
        {"\xEF\xBB\xBF{", "{"},
        {"{\xEF\xBB\xBF}", "{\xEF\xBB\xBF}"},
        {std::string("a\r\nb\0\x1A z", 8), std::string("a\r\nb\0\x1A z", 8)},  // no text mode
    };
    int index = 0;
    for (const auto& c : cases) {
        const auto path = folder / ("file" + std::to_string(index++) + ".bin");
        write_bytes(path, c.content);
        EXPECT_EQ(bx::read_file_bytes(path), c.expected) << testing::PrintToString(c.content);
    }
}

TEST(ReadFileBytes, ReadsLargeFilesWhole) {
    ScratchFolder folder;
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    write_bytes(folder / "big.bin", content);
    EXPECT_EQ(bx::read_file_bytes(folder / "big.bin"), content);
}

TEST(ReadFileBytes, NamesThePathWhenItCannotOpen) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / L"dir\u00F1");
    for (const auto& path : {folder / L"missing.json", folder / L"dir\u00F1"}) {
        try {
            bx::read_file_bytes(path);
            ADD_FAILURE() << "read " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), "Could not open " + bx::wide_to_utf8(path.native()));
        }
    }
}

// A read that fails after a good open must not pass for a short file.
TEST(ReadFileBytes, ReportsAReadErrorAfterOpening) {
    ScratchFolder folder;
    const auto path = folder / "locked.bin";
    write_bytes(path, std::string(4096, 'x'));
    const bx::UniqueFile holder =
        bx::create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_TRUE(holder);
    OVERLAPPED at{};
    ASSERT_TRUE(LockFileEx(holder.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at));
    bool skipped = false;
    try {
        const std::string content = bx::read_file_bytes(path);
        skipped = bx_test::running_under_wine();
        if (!skipped) ADD_FAILURE() << "read " << content.size() << " bytes of a locked file";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "Could not read " + bx::wide_to_utf8(path.native()));
    }
    UnlockFileEx(holder.get(), 0, MAXDWORD, MAXDWORD, &at);
    if (skipped) GTEST_SKIP() << "Wine does not enforce byte-range locks on reads";
}

TEST(ConcatMessage, AppendsEveryByteOfTheSpan) {
    const char span[] = {'a', '\0', '\xFF', '/'};
    EXPECT_EQ(bx::concat_message("Bearer ", span, sizeof span),
              std::string("Bearer a\0\xFF/", 11));
    EXPECT_EQ(bx::concat_message("", span, 0), "");
    EXPECT_EQ(bx::concat_message("only", nullptr, 0), "only");
}

void throw_via_last_error(DWORD code) {
    SetLastError(code);
    bx::throw_last_error("WinHttpSendRequest");
}

void throw_via_kept_code(DWORD code) {
    SetLastError(ERROR_SUCCESS);  // the kept code wins over whatever the thread holds now
    bx::throw_error_code(code, "WinHttpSendRequest");
}

TEST(FailedCall, WinHttpCodesBecomePlayerMessages) {
    const std::string certificate = "Error del certificado HTTPS. Revisa la fecha y hora de tu PC.";
    const struct {
        DWORD code;
        std::string message;
    } cases[] = {
        {12002, "El servidor tard\xC3\xB3 demasiado en responder. Revisa tu internet e "
                "int\xC3\xA9ntalo otra vez. (c\xC3\xB3" "digo 12002)"},
        {12007, "No se encontr\xC3\xB3 el servidor (DNS). Revisa tu internet. (c\xC3\xB3" "digo 12007)"},
        {12029, "No se pudo conectar con el servidor. Puede estar en mantenimiento o un firewall "
                "lo bloquea. (c\xC3\xB3" "digo 12029)"},
        {12030, "Se cort\xC3\xB3 la conexi\xC3\xB3n con el servidor. Int\xC3\xA9ntalo otra vez. "
                "(c\xC3\xB3" "digo 12030)"},
        {12037, certificate + " (c\xC3\xB3" "digo 12037)"},
        {12038, certificate + " (c\xC3\xB3" "digo 12038)"},
        {12045, certificate + " (c\xC3\xB3" "digo 12045)"},
        {12175, certificate + " (c\xC3\xB3" "digo 12175)"},
        {12000, "Error de conexi\xC3\xB3n con el servidor (WinHTTP 12000, WinHttpSendRequest)."},
        {12001, "Error de conexi\xC3\xB3n con el servidor (WinHTTP 12001, WinHttpSendRequest)."},
        {12003, "Error de conexi\xC3\xB3n con el servidor (WinHTTP 12003, WinHttpSendRequest)."},
        {12200, "Error de conexi\xC3\xB3n con el servidor (WinHTTP 12200, WinHttpSendRequest)."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(message_of(throw_via_last_error, c.code), c.message) << c.code;
        EXPECT_EQ(message_of(throw_via_kept_code, c.code), c.message) << c.code;
        try {
            throw_via_last_error(c.code);
        } catch (const std::system_error&) {
            ADD_FAILURE() << c.code << " must be a plain runtime error";
        } catch (const std::runtime_error&) {
        }
    }
}

TEST(FailedCall, OtherCodesBecomeSystemErrorsNamingTheCall) {
    for (DWORD code : {DWORD{12201}, DWORD{11999}, DWORD{5}, DWORD{2}, DWORD{0}}) {
        SCOPED_TRACE(code);
        expect_system_error([&] { throw_via_last_error(code); }, static_cast<int>(code),
                            "WinHttpSendRequest");
        expect_system_error([&] { throw_via_kept_code(code); }, static_cast<int>(code),
                            "WinHttpSendRequest");
    }
    expect_system_error(
        [] {
            SetLastError(ERROR_ACCESS_DENIED);
            bx::throw_last_error("MoveFileExW(settings)");
        },
        ERROR_ACCESS_DENIED, "MoveFileExW(settings)");
}

}  // namespace
