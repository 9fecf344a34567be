#pragma once
#include "service/SongRecord.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

class JsonNode;

// Songs of a playlist reply ({"song": [ ... ]}).

// Builds the record for one element of the "song" array. False when the element is to be
// skipped: rating_avg not above 1.0 (missing counts as 0), the element is not an object, the
// sid holds a control character, or a member has the wrong type (a number where text belongs, text
// where a number belongs); out is then left alone. Texts are converted from UTF-8 to ANSI; like
// becomes "1" or "0". index and status are the caller's to set when it appends.
bool ReadSongElement(const JsonNode& element, SongRecord& out);

// Parses a reply and hands each kept song, in array order, to each, up to maxSongs of them (the
// rest are checked as JSON but not built). False when the text does not parse; a reply without a
// "song" array parses and yields nothing.
bool ParseSongReply(std::string_view text, const std::function<void(SongRecord&&)>& each,
                    std::size_t maxSongs = SIZE_MAX);
