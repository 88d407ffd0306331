#include "launcher/sync/sync.h"

#include "launcher/config/config_location.h"
#include "launcher/net/http.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"
#include "launcher/platform/windows_path.h"
#include "launcher/sync/game_folder_lock.h"
#include "launcher/sync/managed_state.h"
#include "launcher/sync/manifest.h"
#include "launcher/sync/record_repair.h"
#include "launcher/sync/retirement.h"
#include "launcher/sync/sha256.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace bx {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kReceiveBlock = 1048576;

void report(const ProgressCallback& progress, std::wstring message, std::size_t currentFile,
            std::size_t fileCount, std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    if (!progress) {
        return;
    }
    PatchProgress record;
    record.message = std::move(message);
    record.currentFile = static_cast<std::int32_t>(currentFile);
    record.fileCount = static_cast<std::int32_t>(fileCount);
    record.bytesDone = bytesDone;
    record.bytesTotal = bytesTotal;
    progress(record);
}

std::wstring step_text(const wchar_t* verb, const ManifestEntry& entry) {
    return verb + utf8_to_wide(entry.path) + L"\u2026";
}

[[noreturn]] void throw_damaged(const ManifestEntry& entry) {
    throw std::runtime_error(
        "El archivo descargado lleg\u00F3 da\u00F1ado (tama\u00F1o o SHA-256 no coinciden): " +
        entry.path + ". Vuelve a intentarlo.");
}

bool up_to_date(const ManifestEntry& entry, std::vector<char>& buffer) {
    std::error_code error;
    if (!fs::is_regular_file(fs::status(entry.localPath, error)) || error) {
        return false;
    }
    const std::uintmax_t size = fs::file_size(entry.localPath, error);
    if (error || size != static_cast<std::uintmax_t>(entry.size)) {
        return false;
    }
    return ascii_iequals(sha256_file(entry.localPath, buffer), entry.sha256);
}

// Whatever stands there, or may: a status that cannot be read counts as a file.
bool existed_before(const fs::path& path) {
    std::error_code error;
    return presence_of(path, error) != Presence::absent;
}

// The running byte count of this synchronisation and what each chunk report shows.
struct DownloadProgress {
    const ProgressCallback& progress;
    const ManifestEntry& entry;
    std::size_t index;
    std::size_t queued;
    std::uint64_t& bytesDone;
    std::uint64_t bytesTotal;

    void report_download_progress(std::uint64_t chunk) const {
        bytesDone += chunk;
        report(progress, step_text(L"Descargando ", entry), index, queued, bytesDone, bytesTotal);
    }
};

// Streams the body of the entry's URL into the temporary file; never more than its size.
void receive(const ManifestEntry& entry, const fs::path& temporary, std::vector<char>& buffer,
             const DownloadProgress& tally) {
    HttpHandles handles = http_get(entry.url);
    std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.good()) {
        throw std::runtime_error(
            "No se pudo crear " + path_utf8(temporary) +
            ". Revisa que la carpeta del juego no est\u00E9 en \"Archivos de programa\" y que el "
            "antivirus no la bloquee.");
    }
    if (buffer.size() < kReceiveBlock) {
        buffer.assign(kReceiveBlock, 0);
    }
    const auto limit = static_cast<std::uint64_t>(entry.size);
    std::uint64_t received = 0;
    read_body_chunks(handles.request.get(), buffer.data(), kReceiveBlock, [&](std::size_t read) {
        // A body longer than announced is damaged; stop before it fills the disk.
        received += read;
        if (received > limit) {
            throw_damaged(entry);
        }
        out.write(buffer.data(), static_cast<std::streamsize>(read));
        if (!out.good()) {
            throw std::runtime_error("No se pudo escribir " + path_utf8(temporary) +
                                     ". \u00BFQueda espacio en el disco?");
        }
        tally.report_download_progress(read);
    });
    out.flush();
    if (!out.good()) {
        throw std::runtime_error("Could not finish " + path_utf8(temporary));
    }
    out.close();
    handles.close();
}

void check_download(const ManifestEntry& entry, const fs::path& temporary,
                    std::vector<char>& buffer) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(temporary, error);
    if (error || size != static_cast<std::uintmax_t>(entry.size)) {
        throw_damaged(entry);
    }
    if (!ascii_iequals(sha256_file(temporary, buffer), entry.sha256)) {
        throw_damaged(entry);
    }
}

void download(const GameFolder& folder, const ManifestEntry& entry, std::vector<char>& buffer,
              const DownloadProgress& tally) {
    fs::path temporary = entry.localPath;
    temporary += L".download";
    const bool existedBefore = existed_before(entry.localPath);
    fs::create_directories(entry.localPath.parent_path());
    report(tally.progress, step_text(L"Descargando ", entry), tally.index, tally.queued,
           tally.bytesDone, tally.bytesTotal);
    try {
        receive(entry, temporary, buffer, tally);
        check_download(entry, temporary, buffer);
        // Judged again as the disk is now: an 8.3 alias may name a file that this run created,
        // the ownership state above all.
        manifest_target(folder, entry.path);
        check(MoveFileExW(temporary.c_str(), entry.localPath.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
              "MoveFileExW(client file)");
        record_managed_file(folder.directory(), entry.path, entry.sha256, existedBefore);
    } catch (...) {
        // Only the move changes the target: without it, no trace of this download stays.
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
}

std::vector<std::string> manifest_paths(const std::vector<ManifestEntry>& entries) {
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (const ManifestEntry& entry : entries) {
        paths.push_back(entry.path);
    }
    return paths;
}

// Retirement, then verification of every entry; returns the entries to download. Both work on
// one load of the ownership state, which also brings the records of files found up to date in
// line with the manifest (RecordRepairs). Writing that state back after the long verification
// is safe because the caller holds the folder's lock: no other launcher can have written the
// state meanwhile. The state is let go before the downloads, which record each file afresh.
std::vector<const ManifestEntry*> retire_and_verify(const fs::path& gameDirectory,
                                                    const std::vector<ManifestEntry>& entries,
                                                    std::vector<char>& buffer,
                                                    const ProgressCallback& progress,
                                                    SyncSummary& summary) {
    // Records are judged as retirement has always judged them: without the launcher's path.
    const GameFolder folder(gameDirectory);
    IndexedState state = load_indexed_state(folder);
    summary = retire_unlisted_files(folder, state, manifest_paths(entries));

    RecordRepairs repairs(state);
    std::vector<const ManifestEntry*> queue;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        report(progress, step_text(L"Verificando ", entries[i]), i, entries.size(), 0, 0);
        if (up_to_date(entries[i], buffer)) {
            repairs.up_to_date(entries[i].path, entries[i].sha256);
        } else {
            queue.push_back(&entries[i]);
        }
    }
    repairs.save(gameDirectory);
    return queue;
}

}  // namespace

std::wstring sync_completion_message(std::uint32_t downloadedCount, std::int32_t removedCount,
                                     std::size_t keptCount) {
    std::wstring text = downloadedCount == 0 ? L"El juego est\u00E1 al d\u00EDa." : L"Descarga completa.";
    if (removedCount > 0) {
        text += L" Se quitaron " + std::to_wstring(removedCount) + L" archivo(s) antiguos.";
    }
    if (keptCount > 0) {
        text += L" Se conservaron " + std::to_wstring(keptCount) +
                L" archivo(s) modificados en esta PC.";
    }
    return text;
}

SyncSummary synchronize_client_files(const LauncherConfig& config, const ProgressCallback& progress) {
    if (config.patchManifestUrl.empty()) {
        return {};
    }
    report(progress, L"Consultando la lista de archivos del juego\u2026", 0, 0, 0, 0);
    const fs::path gameDirectory = game_directory_path(config);
    fs::create_directories(gameDirectory);
    // One synchronisation of this folder at a time: a second launcher stops here, before it
    // asks for anything or changes anything, and this one holds the folder to its last record.
    const GameFolderLock lock(gameDirectory);
    const GameFolder folder(gameDirectory, executable_path());
    const std::vector<ManifestEntry> entries = fetch_patch_manifest(config, folder);

    SyncSummary summary;
    std::vector<char> buffer(kReceiveBlock, 0);  // hashing and receiving, one file at a time
    const std::vector<const ManifestEntry*> queue =
        retire_and_verify(gameDirectory, entries, buffer, progress, summary);

    std::uint64_t bytesTotal = 0;
    for (const ManifestEntry* entry : queue) {
        bytesTotal += static_cast<std::uint64_t>(entry->size);
    }
    std::uint64_t bytesDone = 0;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        const DownloadProgress tally{progress, *queue[q], q, queue.size(), bytesDone, bytesTotal};
        download(folder, *queue[q], buffer, tally);
    }

    summary.downloadedCount = static_cast<std::uint32_t>(queue.size());
    report(progress,
           sync_completion_message(summary.downloadedCount, summary.removedCount,
                                   summary.keptFiles.size()),
           queue.size(), queue.size(), bytesTotal, bytesTotal);
    return summary;
}

}  // namespace bx
