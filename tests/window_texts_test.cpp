#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/texts.h"

namespace {

bx::PatchProgress report(std::uint64_t done, std::uint64_t total, std::int32_t current,
                         std::int32_t count) {
    bx::PatchProgress progress;
    progress.message = L"M";
    progress.bytesDone = done;
    progress.bytesTotal = total;
    progress.currentFile = current;
    progress.fileCount = count;
    return progress;
}

constexpr std::uint64_t MiB = 1048576;

struct ProgressCase {
    const char* name;
    bx::PatchProgress progress;
    std::wstring text;
    int position;
};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

class ProgressText : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressText, BuildsTheStatusLineAndTheBarPosition) {
    const ProgressCase& c = GetParam();
    EXPECT_EQ(bx::format_progress_text(c.progress), c.text);
    EXPECT_EQ(bx::progress_position(c.progress), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ProgressText,
    testing::Values(
        ProgressCase{"BytesAndFiles", report(5 * MiB, 150 * MiB, 2, 10),
                     L"M\n5.0 / 150 MB  (3%)   Archivo 3 de 10", 3},
        ProgressCase{"FilesOnly", report(0, 0, 0, 40), L"M\nArchivo 1 de 40", 0},
        ProgressCase{"MessageOnly", report(0, 0, 0, 0), L"M", 0},
        ProgressCase{"BytesOnly", report(MiB / 2, 2 * MiB, 0, 0), L"M\n0.5 / 2.0 MB  (25%)",
                     25},
        ProgressCase{"MoreDoneThanTotal", report(3 * MiB, 2 * MiB, 0, 0),
                     L"M\n3.0 / 2.0 MB  (100%)", 100},
        ProgressCase{"JustBelowHundredRoundsWithADecimal", report(100 * MiB - 1, 200 * MiB, 0, 0),
                     L"M\n100.0 / 200 MB  (49%)", 49},
        ProgressCase{"ExactlyHundred", report(100 * MiB, 100 * MiB, 0, 0),
                     L"M\n100 / 100 MB  (100%)", 100},
        ProgressCase{"CounterCappedAtTheCount", report(0, 0, 7, 5), L"M\nArchivo 5 de 5", 100},
        ProgressCase{"FileShareUsesTheIndex", report(0, 0, 1, 3), L"M\nArchivo 2 de 3", 33},
        ProgressCase{"LargeCountsDoNotOverflow", report(0, 0, 30000000, 40000000),
                     L"M\nArchivo 30000001 de 40000000", 75}),
    [](const testing::TestParamInfo<ProgressCase>& info) { return std::string(info.param.name); });

struct CompletionCase {
    const char* name;
    std::uint32_t downloaded;
    std::int32_t removed;
    std::vector<std::wstring> kept;
    bool gameStarted;
    std::wstring text;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class Completion : public testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, BuildsTheSentence) {
    const CompletionCase& c = GetParam();
    bx::SyncSummary summary;
    summary.downloadedCount = c.downloaded;
    summary.removedCount = c.removed;
    summary.keptFiles = c.kept;
    EXPECT_EQ(bx::completion_message(summary, c.gameStarted), c.text);
}

const std::wstring kDownloaded = L"\u00a1Descarga completa! Ya puedes iniciar sesi\u00f3n y jugar.";
const std::wstring kUpToDate = L"El juego est\u00e1 al d\u00eda. Ya puedes iniciar sesi\u00f3n.";
const std::wstring kKeptEnd = L" porque se modificaron en esta PC.";

INSTANTIATE_TEST_SUITE_P(
    Summaries, Completion,
    testing::Values(
        CompletionCase{"GameStartedAlone", 0, 0, {}, true, L"Juego iniciado."},
        CompletionCase{"GameStartedAfterDownloads", 4, 0, {}, true, L"Juego iniciado."},
        CompletionCase{"UpToDate", 0, 0, {}, false, kUpToDate},
        CompletionCase{"DownloadedRemovedKeptFive", 2, 1, {L"a", L"b", L"c", L"d", L"e"}, false,
                       kDownloaded + L" Se quitaron 1 archivo(s) antiguos. Se conservaron a, b, c" +
                           L" y 2 m\u00e1s" + kKeptEnd},
        CompletionCase{"KeptThree", 0, 0, {L"x/1.dat", L"b", L"c"}, false,
                       kUpToDate + L" Se conservaron x/1.dat, b, c" + kKeptEnd},
        CompletionCase{"KeptOne", 0, 0, {L"a"}, true,
                       L"Juego iniciado. Se conservaron a" + kKeptEnd},
        CompletionCase{"KeptFour", 0, 0, {L"a", L"b", L"c", L"d"}, false,
                       kUpToDate + L" Se conservaron a, b, c y 1 m\u00e1s" + kKeptEnd},
        CompletionCase{"NegativeRemovedCountIsNotShown", 0, -1, {}, false, kUpToDate}),
    [](const testing::TestParamInfo<CompletionCase>& info) {
        return std::string(info.param.name);
    });

TEST(FileCounter, CountsFromOneUpToTheCount) {
    EXPECT_EQ(bx::format_file_counter(report(0, 0, 0, 1)), L"Archivo 1 de 1");
    EXPECT_EQ(bx::format_file_counter(report(0, 0, 41, 40)), L"Archivo 40 de 40");
    EXPECT_EQ(bx::format_file_counter(report(0, 0, 2147483647, 2147483647)),
              L"Archivo 2147483647 de 2147483647");
}

struct ConfigArgumentCase {
    const char* name;
    std::vector<std::wstring> args;
    std::wstring path;
};

void PrintTo(const ConfigArgumentCase& c, std::ostream* os) { *os << c.name; }

class ConfigArgument : public testing::TestWithParam<ConfigArgumentCase> {};

TEST_P(ConfigArgument, FindsThePathAfterTheFirstOption) {
    EXPECT_EQ(bx::find_config_argument(GetParam().args), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ConfigArgument,
    testing::Values(
        ConfigArgumentCase{"NoArguments", {L"launcher.exe"}, L""},
        ConfigArgumentCase{"OtherArgumentsOnly", {L"launcher.exe", L"-x", L"file"}, L""},
        ConfigArgumentCase{"Plain", {L"launcher.exe", L"--config", L"C:\\a b\\c.json"},
                           L"C:\\a b\\c.json"},
        ConfigArgumentCase{"CapitalLetters", {L"launcher.exe", L"--CONFIG", L"x.json"}, L"x.json"},
        ConfigArgumentCase{"EqualsFormIgnored", {L"launcher.exe", L"--config=x.json"}, L""},
        ConfigArgumentCase{"FirstWins",
                           {L"launcher.exe", L"--config", L"a.json", L"--config", L"b.json"},
                           L"a.json"},
        ConfigArgumentCase{"OptionTakenAsPath", {L"launcher.exe", L"--config", L"--config"},
                           L"--config"},
        ConfigArgumentCase{"ProgramNameIsNotScanned", {L"--config", L"x.json"}, L""}),
    [](const testing::TestParamInfo<ConfigArgumentCase>& info) {
        return std::string(info.param.name);
    });

TEST(ConfigArgumentErrors, OptionAsLastArgumentNeedsAPath) {
    for (const std::vector<std::wstring>& args :
         {std::vector<std::wstring>{L"launcher.exe", L"--config"},
          std::vector<std::wstring>{L"launcher.exe", L"other", L"--Config"}}) {
        try {
            bx::find_config_argument(args);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "--config requires a file path");
        }
    }
}

TEST(RequestValidation, PlayNeedsNameAndPasswordDownloadNeedsAManifest) {
    const std::wstring fill = L"Escribe tu usuario y contrase\u00f1a.";
    const std::wstring noServer = L"No hay servidor de descargas configurado (patchManifestUrl).";
    EXPECT_EQ(bx::request_refusal(true, bx::trim_user_name(L"   "), L"pw", true), fill);
    EXPECT_EQ(bx::request_refusal(true, L"ana", L"", true), fill);
    EXPECT_EQ(bx::request_refusal(true, L"ana", L" ", false), L"");
    EXPECT_EQ(bx::request_refusal(false, L"", L"", true), L"");
    EXPECT_EQ(bx::request_refusal(false, L"ana", L"pw", false), noServer);
}

TEST(RequestValidation, UserNameIsTrimmedAtBothEnds) {
    EXPECT_EQ(bx::trim_user_name(L" \t ana maria \r\n"), L"ana maria");
    EXPECT_EQ(bx::trim_user_name(L"ana"), L"ana");
    EXPECT_EQ(bx::trim_user_name(L""), L"");
}

TEST(HeroHeadline, ServerNameBreaksAtItsFirstSpaceOnly) {
    EXPECT_EQ(bx::hero_headline(L"", L"Kade Orvindal"), L"Kade\nOrvindal");
    EXPECT_EQ(bx::hero_headline(L"", L"Kade Orvindal Online"), L"Kade\nOrvindal Online");
    EXPECT_EQ(bx::hero_headline(L"", L"Kade"), L"Kade");
    EXPECT_EQ(bx::hero_headline(L"  Two  Spaces ", L"Kade Orvindal"), L"  Two  Spaces ");
}

}  // namespace
