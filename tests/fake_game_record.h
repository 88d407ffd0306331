#pragma once
// How the fake game client (fixtures/fake_game) was started, as it records it in the file named
// by BX_FAKE_GAME_OUTPUT. Nothing in the launcher waits for the game, so the reader waits for
// the record.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/platform/text.h"

namespace bx_test {

struct FakeGameRecord {
    std::wstring commandLine;
    std::wstring currentDirectory;
    std::vector<std::wstring> argv;
};

// Points the fake game started from now on at `output`.
inline void record_fake_game_to(const std::filesystem::path& output) {
    SetEnvironmentVariableW(L"BX_FAKE_GAME_OUTPUT", output.c_str());
}

// Waits for the record (up to 30 s) and reads it.
inline FakeGameRecord wait_for_fake_game_record(const std::filesystem::path& output) {
    for (int i = 0; i < 600 && !std::filesystem::exists(output); ++i) {
        Sleep(50);
    }
    const std::string bytes = bx::read_file_bytes(output);
    std::wstring units(bytes.size() / 2, L'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * 2);
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = units.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
        fields.push_back(units.substr(start, end - start));
    }
    EXPECT_GE(fields.size(), 3u);
    fields.resize(std::max<std::size_t>(fields.size(), 2));
    return {fields[0], fields[1], std::vector<std::wstring>(fields.begin() + 2, fields.end())};
}

}  // namespace bx_test
