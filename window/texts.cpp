#include "window/texts.h"
#include "launcher/platform/ascii.h"

#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <stdexcept>

namespace bx {

namespace {

// The figures are ASCII, so the narrow text widens character by character.
std::wstring widen_ascii(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

std::wstring format_megabytes(std::uint64_t bytes) {
    const double megabytes = static_cast<double>(bytes) / 1048576.0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, megabytes < 100.0 ? "%.1f" : "%.0f", megabytes);
    return widen_ascii(buffer);
}

std::uint64_t byte_percent(const PatchProgress& progress) {
    const std::uint64_t percent = progress.bytesDone * 100 / progress.bytesTotal;
    return percent > 100 ? 100 : percent;
}

}  // namespace

std::wstring format_file_counter(const PatchProgress& progress) {
    // Wide enough that the last index plus one cannot overflow.
    std::int64_t number = static_cast<std::int64_t>(progress.currentFile) + 1;
    if (number > progress.fileCount) {
        number = progress.fileCount;
    }
    return L"Archivo " + std::to_wstring(number) + L" de " + std::to_wstring(progress.fileCount);
}

std::wstring format_progress_text(const PatchProgress& progress) {
    std::wstring text = progress.message;
    if (progress.bytesTotal != 0) {
        text += L'\n';
        text += format_megabytes(progress.bytesDone);
        text += L" / ";
        text += format_megabytes(progress.bytesTotal);
        text += L" MB  (";
        text += std::to_wstring(byte_percent(progress));
        text += L"%)";
        if (progress.fileCount > 0) {
            text += L"   ";
            text += format_file_counter(progress);
        }
    } else if (progress.fileCount > 0) {
        text += L'\n';
        text += format_file_counter(progress);
    }
    return text;
}

int progress_position(const PatchProgress& progress) {
    if (progress.bytesTotal != 0) {
        return static_cast<int>(byte_percent(progress));
    }
    if (progress.fileCount > 0) {
        // Wide enough that an index above 21 million times 100 cannot overflow.
        const std::int64_t share =
            static_cast<std::int64_t>(progress.currentFile) * 100 / progress.fileCount;
        return share > 100 ? 100 : static_cast<int>(share);
    }
    return 0;
}

std::wstring completion_message(const SyncSummary& summary, bool gameStarted) {
    std::wstring text;
    if (gameStarted) {
        text = L"Juego iniciado.";
    } else if (summary.downloadedCount != 0) {
        text = L"\u00a1Descarga completa! Ya puedes iniciar sesi\u00f3n y jugar.";
    } else {
        text = L"El juego est\u00e1 al d\u00eda. Ya puedes iniciar sesi\u00f3n.";
    }
    if (summary.removedCount > 0) {
        text += L" Se quitaron " + std::to_wstring(summary.removedCount) +
                L" archivo(s) antiguos.";
    }
    if (!summary.keptFiles.empty()) {
        text += L" Se conservaron ";
        const std::size_t shown = summary.keptFiles.size() < 3 ? summary.keptFiles.size() : 3;
        for (std::size_t i = 0; i < shown; ++i) {
            if (i > 0) {
                text += L", ";
            }
            text += summary.keptFiles[i];
        }
        if (summary.keptFiles.size() > 3) {
            const unsigned long long others = summary.keptFiles.size() - 3;
            text += L" y " + std::to_wstring(others) + L" m\u00e1s";
        }
        text += L" porque se modificaron en esta PC.";
    }
    return text;
}

std::wstring trim_user_name(std::wstring_view text) {
    std::size_t end = text.size();
    while (end > 0 && std::iswspace(static_cast<std::wint_t>(text[end - 1]))) {
        --end;
    }
    std::size_t begin = 0;
    while (begin < end && std::iswspace(static_cast<std::wint_t>(text[begin]))) {
        ++begin;
    }
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring request_refusal(bool play, std::wstring_view trimmedUserName,
                             std::wstring_view password, bool hasPatchManifestUrl) {
    if (play) {
        if (trimmedUserName.empty() || password.empty()) {
            return L"Escribe tu usuario y contrase\u00f1a.";
        }
        return {};
    }
    if (!hasPatchManifestUrl) {
        return L"No hay servidor de descargas configurado (patchManifestUrl).";
    }
    return {};
}

std::wstring find_config_argument(const std::vector<std::wstring>& args) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (ascii_iequals(args[i], L"--config")) {
            if (i + 1 >= args.size()) {
                throw std::runtime_error("--config requires a file path");
            }
            return args[i + 1];
        }
    }
    return {};
}

std::wstring hero_headline(std::wstring_view heroTitle, std::wstring_view serverName) {
    if (!heroTitle.empty()) {
        return std::wstring(heroTitle);
    }
    std::wstring headline(serverName);
    const std::size_t space = headline.find(L' ');
    if (space != std::wstring::npos) {
        headline[space] = L'\n';
    }
    return headline;
}

}  // namespace bx
