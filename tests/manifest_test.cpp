#include "launcher/sync/manifest.h"

#include "json/json.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using bx_test::ScratchGameFolder;
using bx_test::thrown_text;
using bx_test::write_bytes;

const std::wstring kManifestUrl = L"http://127.0.0.1:8080/t/tag/files/manifest.json";
const std::string kDigest(64, 'a');

std::string entry(const std::string& path, const std::string& url = "a.bin",
                  const std::string& size = "1", const std::string& sha256 = kDigest) {
    return "{\"path\": \"" + path + "\", \"url\": \"" + url + "\", \"size\": " + size +
           ", \"sha256\": \"" + sha256 + "\"}";
}

std::string manifest(const std::string& entries) {
    return "{\"schema\": 1, \"files\": [" + entries + "]}";
}

// The manifest text as the launcher reads it once it has been received.
std::vector<bx::ManifestEntry> read_manifest(const std::string& text,
                                             const std::wstring& manifestUrl,
                                             const fs::path& gameDirectory,
                                             const fs::path& launcher) {
    return bx::read_patch_manifest(bx::parse_json(text), manifestUrl,
                                   bx::GameFolder(gameDirectory, launcher));
}

struct Parsed {
    ScratchGameFolder folder;
    std::vector<bx::ManifestEntry> parse(const std::string& text) const {
        return read_manifest(text, kManifestUrl, folder.path(), launcher());
    }
    fs::path launcher() const { return folder / L"Launcher.exe"; }
};

TEST(ParsePatchManifest, SortsResolvesAndKeepsTheManifestsSpelling) {
    Parsed p;
    const std::string upperDigest = "ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789";
    const auto entries = p.parse(
        "{\"note\": true, \"schema\": 1.0, \"files\": [" +
        entry("Zeta.pak", "https://cdn.example.net/z?x=1", "0", upperDigest) + "," +
        "{\"extra\": [], \"path\": \"data/maps/alpha.pak\", \"url\": \"../blobs/alpha\", "
        "\"size\": 12, \"sha256\": \"" + kDigest + "\"}," +
        entry("_x.pak", "_x.pak", "3") + "]}");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "_x.pak");
    EXPECT_EQ(entries[0].url, L"http://127.0.0.1:8080/t/tag/files/_x.pak");
    EXPECT_EQ(entries[0].localPath, p.folder / L"_x.pak");
    EXPECT_EQ(entries[1].path, "data/maps/alpha.pak");
    EXPECT_EQ(entries[1].url, L"http://127.0.0.1:8080/t/tag/blobs/alpha");
    EXPECT_EQ(entries[1].size, 12);
    EXPECT_EQ(entries[1].localPath.native(), p.folder.path().native() + L"\\data\\maps\\alpha.pak");
    EXPECT_EQ(entries[2].path, "Zeta.pak");
    EXPECT_EQ(entries[2].url, L"https://cdn.example.net/z?x=1");
    EXPECT_EQ(entries[2].size, 0);
    EXPECT_EQ(entries[2].sha256, upperDigest);
    // Each entry keeps only its URL, not the resolver's working buffer: a manifest of 100,000
    // entries must not hold gigabytes.
    for (const auto& e : entries) {
        EXPECT_LT(e.url.capacity(), 256u) << e.path;
    }

    EXPECT_TRUE(p.parse(manifest("")).empty());
}

// Whatever the server sends, nothing outside the game and none of the launcher's own files
// may be named; each defect rejects the whole manifest with its own message.
TEST(ParsePatchManifest, RefusesHostileAndBrokenManifests) {
    const std::string unsafe = "Patch manifest contains an unsafe path: ";
    const std::string state = "Patch manifest cannot replace launcher ownership state";
    const std::string badUrl = "manifest download URL must be an absolute HTTP(S) URL without credentials";
    const std::string incomplete = "Unsupported or incomplete patch manifest";
    const std::string good = entry("good.bin") + ",";
    const struct {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"parent", manifest(good + entry("../x")), unsafe + "../x"},
        {"rooted", manifest(entry("/x")), unsafe + "/x"},
        {"backslash", manifest(entry("a\\\\b")), unsafe + "a\\b"},
        {"drive relative", manifest(entry("C:x")), unsafe + "C:x"},
        {"stream", manifest(entry("x:stream")), unsafe + "x:stream"},
        {"empty segment", manifest(entry("a//b")), unsafe + "a//b"},
        {"dot segment", manifest(entry("a/./b")), unsafe + "a/./b"},
        {"device", manifest(entry("CON")), unsafe + "CON"},
        {"device with extension", manifest(entry("aux.txt")), unsafe + "aux.txt"},
        {"device in a folder", manifest(entry("data/aux.txt")), unsafe + "data/aux.txt"},
        {"numbered device", manifest(entry("Lpt1.log")), unsafe + "Lpt1.log"},
        {"trailing dot", manifest(entry("a.")), unsafe + "a."},
        {"trailing blank", manifest(entry("a.bin ")), unsafe + "a.bin "},
        {"folder with a trailing blank", manifest(entry("dir /a")), unsafe + "dir /a"},
        {"nul", manifest(entry("a\\u0000b")), unsafe + "a"},  // what() ends at the NUL
        {"question mark", manifest(good + entry("bad?.dat")), unsafe + "bad?.dat"},
        {"star in a folder", manifest(entry("data*/a")), unsafe + "data*/a"},
        {"angle brackets", manifest(entry("<a>")), unsafe + "<a>"},
        {"bar", manifest(entry("a|b")), unsafe + "a|b"},
        {"double quote", manifest(entry("a\\\"b")), unsafe + "a\"b"},
        {"control byte", manifest(entry("a\\u0001b")), unsafe + "a\x01" "b"},
        {"last control byte", manifest(entry("a\\u001fb")), unsafe + "a\x1F" "b"},
        {"empty", manifest(entry("")), unsafe},
        {"duplicate", manifest(entry("Data/A.pak") + "," + good + entry("data/a.PAK")),
         "Patch manifest contains a duplicate path"},
        // One file to NTFS, which folds É and é; a few other names sort between them.
        {"duplicate beyond A-Z",
         manifest(entry("\xC3\x89.pak") + "," + entry("\xC3\x96.pak") + "," + good +
                  entry("\xC3\xA9.pak")),
         "Patch manifest contains a duplicate path"},
        {"state file", manifest(entry(".kadeorvindal-managed.json")), state},
        {"state file in capitals", manifest(entry(".KADEORVINDAL-Managed.json")), state},
        {"state file with a dot", manifest(entry(".kadeorvindal-managed.json.")),
         unsafe + ".kadeorvindal-managed.json."},
        {"state temporary", manifest(entry(".kadeorvindal-managed.json.tmp")), state},
        {"beneath the state", manifest(entry(".kadeorvindal-managed.json/x")), state},
        {"beneath the state temporary", manifest(entry(".kadeorvindal-managed.json.TMP/x")), state},
        {"running launcher", manifest(entry("LAUNCHER.exe")),
         "Patch manifest cannot replace the running launcher"},
        {"download name", manifest(entry("x.bin") + "," + entry("x.bin.download")),
         "Patch manifest path is reserved for a download in progress: x.bin.download"},
        {"beneath a download name", manifest(entry("X.BIN.download/y") + "," + entry("x.bin")),
         "Patch manifest path is reserved for a download in progress: X.BIN.download/y"},
        {"download name beyond A-Z",
         manifest(entry("\xC3\xA9.bin") + "," + entry("\xC3\x89.bin.download")),
         "Patch manifest path is reserved for a download in progress: \xC3\x89.bin.download"},
        {"ftp", manifest(entry("a.bin", "ftp://127.0.0.1/a.bin")), badUrl},
        {"credentials", manifest(entry("a.bin", "http://user:pw@127.0.0.1/a.bin")), badUrl},
        {"user only", manifest(entry("a.bin", "http://user@127.0.0.1/a.bin")), badUrl},
        {"file scheme", manifest(entry("a.bin", "file:///C:/windows/win.ini")), badUrl},
        {"long url", manifest(entry("a.bin", "http://127.0.0.1/" + std::string(32768, 'u'))),
         "Manifest contains an invalid download URL"},
        {"negative size", manifest(entry("a.bin", "a.bin", "-1")),
         "Patch manifest contains a negative file size"},
        {"fractional size", manifest(entry("a.bin", "a.bin", "1.5")), "JSON number is not an integer"},
        {"size as text", manifest(entry("a.bin", "a.bin", "\"1\"")), "JSON value is not a number"},
        {"short digest", manifest(entry("a.bin", "a.bin", "1", std::string(63, 'a'))),
         "Patch manifest contains an invalid SHA-256"},
        {"long digest", manifest(entry("a.bin", "a.bin", "1", std::string(65, 'a'))),
         "Patch manifest contains an invalid SHA-256"},
        {"digest not hex", manifest(entry("a.bin", "a.bin", "1", std::string(63, 'a') + "g")),
         "Patch manifest contains an invalid SHA-256"},
        {"element text", manifest(good + "\"a.bin\""), "Patch manifest file entry is incomplete"},
        {"element null", manifest("null"), "Patch manifest file entry is incomplete"},
        {"no digest", manifest("{\"path\": 1, \"url\": 2, \"size\": \"x\"}"),
         "Patch manifest file entry is incomplete"},
        {"path as number", manifest("{\"path\": 1, \"url\": \"a\", \"size\": 1, \"sha256\": \"x\"}"),
         "JSON value is not a string"},
        {"schema 2", "{\"schema\": 2, \"files\": []}", incomplete},
        {"schema as text", "{\"schema\": \"1\", \"files\": []}", "JSON value is not a number"},
        {"no schema", "{\"files\": []}", incomplete},
        {"no files", "{\"schema\": 1}", incomplete},
        {"files object", "{\"schema\": 1, \"files\": {}}", "JSON value is not an array"},
        {"root array", "[{\"schema\": 1, \"files\": []}]", incomplete},
    };
    for (const auto& c : cases) {
        Parsed p;
        EXPECT_EQ(thrown_text([&] { p.parse(c.text); }), c.message) << c.name;
        EXPECT_TRUE(fs::is_empty(p.folder.path())) << c.name;
    }
}

TEST(ParsePatchManifest, ByteOrderMarkAndBrokenTextAreMalformedJson) {
    Parsed p;
    EXPECT_THROW(p.parse("\xEF\xBB\xBF" + manifest("")), bx::JsonError);
    EXPECT_THROW(p.parse(manifest(entry("a.bin")) + "x"), bx::JsonError);
    EXPECT_THROW(p.parse("{\"schema\": 1, \"schema\": 1, \"files\": []}"), bx::JsonError);
}

// An 8.3 short name reaches an existing file under another spelling; it is judged by the
// file that Windows opens.
TEST(ParsePatchManifest, ShortNamesOfExistingFilesAreJudgedByTheirLongName) {
    Parsed p;
    write_bytes(p.folder / L".kadeorvindal-managed.json", "{}");
    write_bytes(p.folder / L"LongDirectoryName" / L"file.bin", "x");
    const auto short_name = [&](const fs::path& path) {
        wchar_t buffer[MAX_PATH] = {};
        const DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::wstring() : fs::path(buffer).filename().native();
    };
    const std::wstring stateShort = short_name(p.folder / L".kadeorvindal-managed.json");
    const std::wstring dirShort = short_name(p.folder / L"LongDirectoryName");
    if (stateShort.empty() || dirShort.empty() || stateShort == L".kadeorvindal-managed.json" ||
        dirShort == L"LongDirectoryName") {
        GTEST_SKIP() << "this volume keeps no 8.3 short names";
    }
    const std::string stateAlias(stateShort.begin(), stateShort.end());
    EXPECT_EQ(thrown_text([&] { p.parse(manifest(entry(stateAlias))); }),
              "Patch manifest cannot replace launcher ownership state");
    const std::string dirAlias = std::string(dirShort.begin(), dirShort.end()) + "/file.bin";
    EXPECT_EQ(thrown_text([&] { p.parse(manifest(entry(dirAlias))); }),
              "Patch manifest contains an unsafe path: " + dirAlias);
}

// A game directory written with a short name (as temporary folders often are) is the same
// directory: its files are neither refused nor taken for aliases.
TEST(ParsePatchManifest, AcceptsAGameDirectoryWrittenWithItsShortName) {
    ScratchGameFolder folder;
    const fs::path longDirectory = folder / L"LongGameDirectoryName";
    write_bytes(longDirectory / L"data" / L"a.pak", "x");
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(longDirectory.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || fs::path(buffer).filename() == L"LongGameDirectoryName") {
        GTEST_SKIP() << "this volume keeps no 8.3 short names";
    }
    const fs::path shortDirectory = fs::path(buffer).lexically_normal();
    const auto entries = read_manifest(
        manifest(entry("data/a.pak") + "," + entry("b.pak")), kManifestUrl, shortDirectory,
        shortDirectory / L"Launcher.exe");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].localPath, shortDirectory / L"data\\a.pak");
    EXPECT_EQ(thrown_text([&] {
                  read_manifest(manifest(entry(".kadeorvindal-managed.json")),
                                kManifestUrl, shortDirectory, L"C:\\x.exe");
              }),
              "Patch manifest cannot replace launcher ownership state");
}

}  // namespace
