#include "scrobble/ListenPayload.h"

#include <json/json.h>

#include <memory>

#ifndef LANTOR_VERSION
#define LANTOR_VERSION "0"
#endif

namespace {

Json::Value ToJson(const Listen& listen, bool withTime) {
    Json::Value info(Json::objectValue);
    info["media_player"] = std::string(ListenPayload::kMediaPlayer);
    info["media_player_version"] = std::string(ListenPayload::Version());
    info["submission_client"] = std::string(ListenPayload::kMediaPlayer);
    info["submission_client_version"] = std::string(ListenPayload::Version());
    if (listen.durationMs > 0)
        info["duration_ms"] = Json::Int64(listen.durationMs);
    Json::Value track(Json::objectValue);
    track["artist_name"] = listen.artist;
    track["track_name"] = listen.track;
    if (!listen.release.empty())
        track["release_name"] = listen.release;
    track["additional_info"] = std::move(info);
    Json::Value item(Json::objectValue);
    if (withTime)
        item["listened_at"] = Json::Int64(listen.listenedAt);
    item["track_metadata"] = std::move(track);
    return item;
}

// Well-formed UTF-8 (shortest forms, no surrogates, up to U+10FFFF): the server refuses less.
bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80   ? 1
                              : c < 0xC2 ? 0
                              : c < 0xE0 ? 2
                              : c < 0xF0 ? 3
                              : c < 0xF5 ? 4
                                         : 0;
        if (n == 0 || i + n > s.size())
            return false;
        std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (b & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string Write(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

// A text member, or none when missing or not a string.
std::optional<std::string> Text(const Json::Value& object, const char* name) {
    const Json::Value* v = object.find(name, name + std::char_traits<char>::length(name));
    if (!v || !v->isString())
        return std::nullopt;
    return v->asString();
}

} // namespace

namespace ListenPayload {

std::string_view Version() {
    return LANTOR_VERSION;
}

std::string CleanText(std::string_view utf8, std::size_t maxBytes) {
    std::string out;
    out.reserve(std::min(utf8.size(), maxBytes));
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7f)
            out += ch;
    }
    if (out.size() > maxBytes) {
        std::size_t end = maxBytes;
        // Back to the first byte of the character that would be split.
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80)
            --end;
        out.resize(end);
    }
    return out;
}

std::string Problem(const Listen& listen, bool withTime) {
    if (listen.artist.empty())
        return "no artist";
    if (listen.track.empty())
        return "no title";
    if (!IsUtf8(listen.artist) || !IsUtf8(listen.track) || !IsUtf8(listen.release))
        return "a text is not UTF-8";
    if (withTime && listen.listenedAt < kEarliestListenedAt)
        return "the clock is before 2002";
    return {};
}

std::string SubmitBody(std::string_view listenType, const std::vector<Listen>& listens) {
    const bool withTime = listenType != kPlayingNow;
    Json::Value payload(Json::arrayValue);
    for (const Listen& listen : listens)
        payload.append(ToJson(listen, withTime));
    Json::Value body(Json::objectValue);
    body["listen_type"] = std::string(listenType);
    body["payload"] = std::move(payload);
    return Write(body);
}

std::string ToLine(const Listen& listen) {
    return Write(ToJson(listen, true));
}

std::optional<Listen> FromLine(std::string_view line) {
    if (line.empty() || line.size() > kMaxLineBytes)
        return std::nullopt;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 16;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value item;
    try {
        if (!reader->parse(line.data(), line.data() + line.size(), &item, nullptr) ||
            !item.isObject())
            return std::nullopt;
    } catch (const Json::Exception&) {
        return std::nullopt; // nested deeper than the stack limit: the reader throws
    }
    const Json::Value& at = item["listened_at"];
    const Json::Value& track = item["track_metadata"];
    if (!at.isInt64() || !track.isObject())
        return std::nullopt;
    Listen listen;
    listen.listenedAt = at.asInt64();
    auto artist = Text(track, "artist_name");
    auto title = Text(track, "track_name");
    if (!artist || !title)
        return std::nullopt;
    listen.artist = CleanText(*artist);
    listen.track = CleanText(*title);
    listen.release = CleanText(Text(track, "release_name").value_or(""));
    const Json::Value& info = track["additional_info"];
    if (info.isObject() && info["duration_ms"].isInt64())
        listen.durationMs = std::max<Json::Int64>(info["duration_ms"].asInt64(), 0);
    if (!Problem(listen, true).empty())
        return std::nullopt;
    return listen;
}

} // namespace ListenPayload
