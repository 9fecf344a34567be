#pragma once
#include "scrobble/Listen.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The JSON of listens: the body of a submit request and the line a listen keeps in the queue
// file. Texts are UTF-8; keys come out sorted, without spaces.
namespace ListenPayload {

constexpr std::string_view kPlayingNow = "playing_now";
constexpr std::string_view kSingle = "single";
constexpr std::string_view kImport = "import";

constexpr std::string_view kMediaPlayer = "LantorFM";
// Each text is cut to this, at a character; the server refuses a listen over 10240 bytes.
constexpr std::size_t kMaxTextBytes = 1024;
// Listens sent before this moment (October 2002) are refused by the server: a clock gone wrong.
constexpr std::int64_t kEarliestListenedAt = 1'033'430'400;

// The program's version as sent in additional_info.
std::string_view Version();

// text without control characters, cut to at most maxBytes without splitting a character.
std::string CleanText(std::string_view utf8, std::size_t maxBytes = kMaxTextBytes);

// "" when the listen can be sent as a listen (withTime) or as a playing_now notice; otherwise
// why not, for a log line.
std::string Problem(const Listen& listen, bool withTime);

// The body of POST /1/submit-listens; a playing_now body carries no listened_at.
std::string SubmitBody(std::string_view listenType, const std::vector<Listen>& listens);

// One listen as one line of JSON (no line break), and back. FromLine gives none for a line that
// is not such a listen (also one over kMaxLineBytes).
constexpr std::size_t kMaxLineBytes = 16u << 10;
std::string ToLine(const Listen& listen);
std::optional<Listen> FromLine(std::string_view line);

} // namespace ListenPayload
