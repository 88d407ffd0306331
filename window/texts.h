// The texts the window builds itself: the status line of a progress report, the completion
// sentence of an operation, the refusal of a request, and the "--config" option.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launcher/sync/progress.h"

namespace bx {

// "Archivo n de m", n counted from 1 and never above m.
std::wstring format_file_counter(const PatchProgress& progress);

// The message, then on a second line the megabytes, the percentage and the file counter.
std::wstring format_progress_text(const PatchProgress& progress);

// The progress bar's position, 0 to 100: by bytes when they are counted, else by files.
int progress_position(const PatchProgress& progress);

// The status line after a finished operation.
std::wstring completion_message(const SyncSummary& summary, bool gameStarted);

// The user name without the white space around it (iswspace).
std::wstring trim_user_name(std::wstring_view text);

// Why a request may not start, or an empty text when it may.
std::wstring request_refusal(bool play, std::wstring_view trimmedUserName,
                             std::wstring_view password, bool hasPatchManifestUrl);

// The path after the first "--config" (any letter case) among args[1..]; empty without one.
// Throws std::runtime_error "--config requires a file path" when it is the last argument.
std::wstring find_config_argument(const std::vector<std::wstring>& args);

// The hero headline: the configured title, or the server name with its first space turned
// into a line break.
std::wstring hero_headline(std::wstring_view heroTitle, std::wstring_view serverName);

}  // namespace bx
