#include "launcher/sync/managed_state.h"

#include "json/json.h"
#include "launcher/platform/text.h"

#include "scratch_folder.h"
#include "state_records.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using bx_test::file_bytes;
using bx_test::ScratchGameFolder;
using bx_test::thrown_text;
using bx_test::write_bytes;

const std::string kDigestA(64, 'a');
const std::string kDigestB = "0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef";

fs::path state_file(const ScratchGameFolder& folder) {
    return folder / L".kadeorvindal-managed.json";
}

std::string state_with(const std::string& entries) {
    return "{\"schema\": 1, \"files\": [" + entries + "]}";
}

std::string entry(const std::string& path, const std::string& digest = kDigestA,
                  const std::string& remove = "true") {
    return "{\"path\": \"" + path + "\", \"sha256\": \"" + digest +
           "\", \"removeWhenUnlisted\": " + remove + "}";
}

TEST(ManagedStatePath, IsTheFixedNameInTheDirectory) {
    EXPECT_EQ(bx::managed_state_path(L"C:\\Games\\Kade\\").native(),
              L"C:\\Games\\Kade\\.kadeorvindal-managed.json");
    EXPECT_EQ(bx::managed_state_path(L"C:\\Games\\Kade\\sub\\..").native(),
              L"C:\\Games\\Kade\\.kadeorvindal-managed.json");
}

// NTFS folds the case of every letter, not only A-Z: "É.pak" and "é.pak" are one file.
TEST(SameRelativePath, FoldsCaseAsTheFileSystemAndNormalisesNothing) {
    EXPECT_TRUE(bx::same_relative_path("Data/Music.bin", "data/music.BIN"));
    EXPECT_FALSE(bx::same_relative_path("data/a.bin", "data//a.bin"));
    EXPECT_TRUE(bx::same_relative_path("\xC3\x89.bin", "\xC3\xA9.bin"));  // É and é
    EXPECT_FALSE(bx::same_relative_path("stra\xC3\x9F" "e", "STRASSE"));  // ß
    EXPECT_THROW(bx::same_relative_path("\xFF", "a"), std::system_error);
}

TEST(ResolveManagedPath, RefusesEverythingThatIsNotAPlainFileInTheGame) {
    ScratchGameFolder folder;
    EXPECT_EQ(bx::resolve_managed_path(folder.path(), "data/maps/a.bin"),
              folder / L"data\\maps\\a.bin");
    const std::string unsafe = "Managed patch state contains an unsafe path: ";
    const std::string escapes = "Managed patch state path escapes the game directory";
    const struct {
        std::string path;
        std::string message;
    } refused[] = {
        {"../x.bin", unsafe + "../x.bin"},
        {"/x.bin", unsafe + "/x.bin"},
        {"a\\b", unsafe + "a\\b"},
        {"C:x", unsafe + "C:x"},
        {"CON", unsafe + "CON"},
        {"data/aux.txt", unsafe + "data/aux.txt"},
        {"a.", unsafe + "a."},
        {"a ", unsafe + "a "},
        {"bad?.dat", unsafe + "bad?.dat"},
        {"a\x01" "b", unsafe + "a\x01" "b"},
        {".kadeorvindal-managed.json.", unsafe + ".kadeorvindal-managed.json."},
        {".kadeorvindal-managed.json", escapes},
        {".KadeOrvindal-Managed.JSON", escapes},
        {".kadeorvindal-managed.json.tmp", escapes},
        {".kadeorvindal-managed.json/x", escapes},
        {".kadeorvindal-managed.json.tmp/x", escapes},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(thrown_text([&] { bx::resolve_managed_path(folder.path(), r.path); }), r.message)
            << r.path;
    }
}

TEST(ResolveManagedPath, AcceptsAGameDirectoryWrittenWithItsShortName) {
    ScratchGameFolder folder;
    const fs::path longDirectory = folder / L"LongGameDirectoryName";
    write_bytes(longDirectory / L"a.bin", "x");
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(longDirectory.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || fs::path(buffer).filename() == L"LongGameDirectoryName") {
        GTEST_SKIP() << "this volume keeps no 8.3 short names";
    }
    const fs::path shortDirectory = fs::path(buffer).lexically_normal();
    EXPECT_EQ(bx::resolve_managed_path(shortDirectory, "a.bin"), shortDirectory / L"a.bin");
    EXPECT_EQ(bx::resolve_managed_path(shortDirectory, "new/b.bin"), shortDirectory / L"new\\b.bin");
}

TEST(SaveManagedState, WritesTheExactTextAndReadsItBack) {
    ScratchGameFolder folder;
    bx::save_managed_state(folder.path(), {});
    EXPECT_EQ(file_bytes(state_file(folder)), "{\n  \"schema\": 1,\n  \"files\": [  ]\n}\n");
    EXPECT_EQ(file_bytes(state_file(folder)).size(), 35u);
    EXPECT_TRUE(bx_test::load_state_records(folder.path()).empty());

    const bx::ManagedState state = {
        {"data/a.bin", kDigestA, true},
        {"q\"uote\x01/\xC3\xA9t\xC3\xA9.pak", kDigestB, false},
    };
    bx::save_managed_state(folder.path(), state);
    const std::string text = file_bytes(state_file(folder));
    const std::string firstLine =
        "    {\"path\": \"data/a.bin\", \"sha256\": \"" + kDigestA + "\", \"removeWhenUnlisted\": true}";
    EXPECT_EQ(firstLine.size(), 122u + 10u);
    EXPECT_EQ(text, "{\n  \"schema\": 1,\n  \"files\": [\n" + firstLine +
                        ",\n    {\"path\": \"q\\\"uote\\u0001/\xC3\xA9t\xC3\xA9.pak\", \"sha256\": \"" +
                        kDigestB + "\", \"removeWhenUnlisted\": false}\n  ]\n}\n");
    EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));
    // Written escaped, but no Windows file name holds a quote or a control byte: such a record
    // is refused when it is read back.
    EXPECT_EQ(thrown_text([&] { bx_test::load_state_records(folder.path()); }),
              bx::path_utf8(state_file(folder)) +
                  ": Managed patch state contains an unsafe path: " + state[1].path);

    const bx::ManagedState readable = {
        {"data/a.bin", kDigestA, true},
        {"d\xC3\xA9j\xC3\xA0 vu/\xC3\xA9t\xC3\xA9.pak", kDigestB, false},
    };
    bx::save_managed_state(folder.path(), readable);
    const bx::ManagedState loaded = bx_test::load_state_records(folder.path());
    ASSERT_EQ(loaded.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(loaded[i].path, readable[i].path);
        EXPECT_EQ(loaded[i].sha256, readable[i].sha256);
        EXPECT_EQ(loaded[i].removeWhenUnlisted, readable[i].removeWhenUnlisted);
    }
}

TEST(SaveManagedState, AFailedSaveLeavesTheOldStateAndNoTemporaryFile) {
    ScratchGameFolder folder;
    bx::save_managed_state(folder.path(), {{"old.bin", kDigestA, true}});
    const std::string before = file_bytes(state_file(folder));

    {
        // Held open for reading only: the state file cannot be replaced, so the move fails.
        bx_test::FileLock lock(state_file(folder), FILE_SHARE_READ);
        try {
            bx::save_managed_state(folder.path(), {});
            ADD_FAILURE() << "the save should fail";
        } catch (const std::system_error& error) {
            EXPECT_TRUE(error.code().value() == ERROR_ACCESS_DENIED ||
                        error.code().value() == ERROR_SHARING_VIOLATION)
                << error.code().value();
            EXPECT_EQ(std::string(error.what()).rfind("MoveFileExW(patch ownership state)", 0), 0u);
        }
        EXPECT_EQ(file_bytes(state_file(folder)), before);
        EXPECT_FALSE(fs::exists(folder / L".kadeorvindal-managed.json.tmp"));
    }

    // A directory where the temporary file belongs: it cannot be opened.
    fs::create_directories(folder / L".kadeorvindal-managed.json.tmp");
    EXPECT_EQ(thrown_text([&] { bx::save_managed_state(folder.path(), {}); }),
              "Could not save patch ownership state");
    EXPECT_EQ(file_bytes(state_file(folder)), before);
}

TEST(LoadManagedState, MissingFileIsAnEmptyState) {
    ScratchGameFolder folder;
    EXPECT_TRUE(bx_test::load_state_records(folder.path()).empty());
    EXPECT_FALSE(fs::exists(state_file(folder)));
}

// How a failure reaches its callers: the kind of exception, and whether its text is given
// whole or only begins with it (the system's text after a failed call differs between systems).
enum class Kind { json, conversion, other };

struct Refusal {
    Kind kind;
    std::string text;
};

// What loading the state file of `folder` throws.
Refusal load_refusal(const ScratchGameFolder& folder) {
    try {
        bx_test::load_state_records(folder.path());
    } catch (const bx::JsonError& error) {
        return {Kind::json, error.what()};
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ERROR_NO_UNICODE_TRANSLATION);
        return {Kind::conversion, error.what()};
    } catch (const std::exception& error) {
        return {Kind::other, error.what()};
    }
    ADD_FAILURE() << "the load should fail";
    return {};
}

// Every text that is not a state names the file by its full path, keeps the reason's own text
// and kind, and leaves the file as it was.
TEST(LoadManagedState, RefusesEveryDefectNamingTheFileAndKeepingItsReason) {
    const std::string incomplete = "Patch ownership state is unsupported or incomplete";
    // The launcher's own text of two records, as a disk fault may leave it: cut after the first.
    std::string written;
    {
        ScratchGameFolder source;
        bx::save_managed_state(source.path(), {{"a.bin", kDigestA, true}, {"b.bin", kDigestB, false}});
        written = file_bytes(state_file(source));
    }
    const std::string cut = written.substr(0, written.find("},\n") + 3);
    const struct {
        const char* name;
        std::string text;
        Kind kind;
        std::string reason;  // for a conversion, what the text begins with
    } cases[] = {
        {"foreign text", "Notas del jugador: no borrar", Kind::json, "unexpected token at byte 0"},
        {"cut short", cut, Kind::json, "unexpected end of input at byte " + std::to_string(cut.size())},
        {"empty", "", Kind::json, "unexpected end of input at byte 0"},
        {"UTF-16", std::string("\xFF\xFE{\0}\0", 6), Kind::json, "unexpected token at byte 0"},
        {"schema 2", "{\"schema\": 2, \"files\": []}", Kind::other, incomplete},
        {"schema as string", "{\"schema\": \"1\", \"files\": []}", Kind::json,
         "JSON value is not a number"},
        {"schema fraction", "{\"schema\": 1.5, \"files\": []}", Kind::json,
         "JSON number is not an integer"},
        {"no schema", "{\"files\": []}", Kind::other, incomplete},
        {"no files", "{\"schema\": 1}", Kind::other, incomplete},
        {"root array", "[1]", Kind::other, incomplete},
        {"files object", "{\"schema\": 1, \"files\": {}}", Kind::json,
         "JSON value is not an array"},
        {"entry string", state_with("\"a\""), Kind::other,
         "Patch ownership state entry is incomplete"},
        {"entry without sha256", state_with("{\"path\": 5, \"removeWhenUnlisted\": \"x\"}"),
         Kind::other, "Patch ownership state entry is incomplete"},
        {"flag as string", state_with(entry("a.bin", kDigestA, "\"true\"")), Kind::json,
         "JSON value is not a boolean"},
        {"path as number",
         state_with("{\"path\": 5, \"sha256\": \"" + kDigestA + "\", \"removeWhenUnlisted\": true}"),
         Kind::json, "JSON value is not a string"},
        {"short digest", state_with(entry("a.bin", std::string(63, 'a'))), Kind::other,
         "Patch ownership state contains an invalid SHA-256"},
        {"duplicate", state_with(entry("Data/Music.bin") + "," + entry("data/music.BIN")),
         Kind::other, "Patch ownership state contains a duplicate path"},
        {"duplicate beyond A-Z", state_with(entry("\xC3\x89.pak") + "," + entry("\xC3\xA9.pak")),
         Kind::other, "Patch ownership state contains a duplicate path"},
        {"unsafe", state_with(entry("../x.bin")), Kind::other,
         "Managed patch state contains an unsafe path: ../x.bin"},
        {"state file itself", state_with(entry(".KADEORVINDAL-managed.json")), Kind::other,
         "Managed patch state path escapes the game directory"},
        {"Latin-1 path", state_with(entry("caf\xE9.pak")), Kind::conversion, "MultiByteToWideChar: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchGameFolder folder;
        write_bytes(state_file(folder), c.text);
        const std::string expected = bx::path_utf8(state_file(folder)) + ": " + c.reason;
        const Refusal refusal = load_refusal(folder);
        EXPECT_EQ(refusal.kind, c.kind);
        if (c.kind == Kind::conversion) {
            EXPECT_EQ(refusal.text.rfind(expected, 0), 0u) << refusal.text;
            EXPECT_GT(refusal.text.size(), expected.size()) << "the system's text is missing";
        } else {
            EXPECT_EQ(refusal.text, expected);
        }
        EXPECT_EQ(file_bytes(state_file(folder)), c.text);
    }
}

TEST(LoadManagedState, AStateThatIsNotAFileIsNamedToo) {
    ScratchGameFolder folder;
    fs::create_directories(state_file(folder));
    EXPECT_EQ(thrown_text([&] { bx_test::load_state_records(folder.path()); }),
              bx::path_utf8(state_file(folder)) + ": Patch ownership state is not a regular file");
}

TEST(LoadManagedState, IgnoresUnknownMembersAndAByteOrderMark) {
    ScratchGameFolder folder;
    write_bytes(state_file(folder),
                "\xEF\xBB\xBF{\"extra\": [1], \"schema\": 1.0, \"files\": [{\"path\": \"a.bin\", "
                "\"note\": null, \"sha256\": \"" + kDigestB + "\", \"removeWhenUnlisted\": false}]}");
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].path, "a.bin");
    EXPECT_EQ(state[0].sha256, kDigestB);
    EXPECT_FALSE(state[0].removeWhenUnlisted);
}

TEST(RecordManagedFile, CreatesThenUpdatesRecordsKeepingTheFirstFlag) {
    ScratchGameFolder folder;
    bx::record_managed_file(folder.path(), "Data/A.bin", kDigestB, false);
    bx::record_managed_file(folder.path(), "old.bin", kDigestA, true);
    bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "Data/A.bin");
    EXPECT_EQ(state[0].sha256, kDigestB);  // upper-case digits kept as given
    EXPECT_TRUE(state[0].removeWhenUnlisted);
    EXPECT_FALSE(state[1].removeWhenUnlisted);

    // The manifest now spells the path differently and the file was there before.
    bx::record_managed_file(folder.path() / L"sub" / L"..", "data/a.BIN", kDigestA, true);
    bx::record_managed_file(folder.path(), "OLD.bin", kDigestB, false);
    state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 2u);
    EXPECT_EQ(state[0].path, "data/a.BIN");
    EXPECT_EQ(state[0].sha256, kDigestA);
    EXPECT_TRUE(state[0].removeWhenUnlisted);
    EXPECT_EQ(state[1].path, "OLD.bin");
    EXPECT_FALSE(state[1].removeWhenUnlisted);
}

TEST(RecordManagedFile, ASpellingThatDiffersInANonAsciiLettersCaseIsTheSameRecord) {
    ScratchGameFolder folder;
    bx::record_managed_file(folder.path(), "m\xC3\xBAsica/\xC3\xA9t\xC3\xA9.pak", kDigestA, false);
    bx::record_managed_file(folder.path(), "M\xC3\x9Asica/\xC3\x89T\xC3\x89.pak", kDigestB, true);
    const bx::ManagedState state = bx_test::load_state_records(folder.path());
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].path, "M\xC3\x9Asica/\xC3\x89T\xC3\x89.pak");
    EXPECT_EQ(state[0].sha256, kDigestB);
    EXPECT_TRUE(state[0].removeWhenUnlisted);
}

TEST(RecordManagedFile, RefusesBadInputWithoutTouchingTheDisk) {
    ScratchGameFolder folder;
    EXPECT_THROW(bx::record_managed_file(folder.path(), "a.bin", std::string(63, 'a'), false),
                 std::invalid_argument);
    EXPECT_EQ(thrown_text([&] {
                  bx::record_managed_file(folder.path(), "../a.bin", "not a digest", false);
              }),
              "Managed patch state contains an unsafe path: ../a.bin");
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(RecordManagedFile, AFailedSaveLeavesThePreviousState) {
    ScratchGameFolder folder;
    bx::record_managed_file(folder.path(), "a.bin", kDigestA, false);
    const std::string before = file_bytes(state_file(folder));
    {
        bx_test::FileLock lock(state_file(folder), FILE_SHARE_READ);
        EXPECT_ANY_THROW(bx::record_managed_file(folder.path(), "b.bin", kDigestA, false));
    }
    EXPECT_EQ(file_bytes(state_file(folder)), before);
}

}  // namespace
