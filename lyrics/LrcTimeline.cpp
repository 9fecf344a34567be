#include "lyrics/LrcTimeline.h"

#include "platform/CodePage.h"
#include "service/CachePath.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

// First c at or after from that is not inside a multi-byte character; npos when none.
// from must start a character.
size_t FindUnpaired(std::string_view text, size_t from, char c) {
    for (size_t i = from; i < text.size();) {
        if (text[i] == c)
            return i;
        i += CodePage::CharLength(text, i);
    }
    return std::string_view::npos;
}

// Start of the last character of text, which starts with a character.
size_t LastCharacterStart(std::string_view text) {
    size_t last = 0;
    for (size_t i = 0; i < text.size();) {
        last = i;
        i += CodePage::CharLength(text, i);
    }
    return last;
}

// The leading integer of text as atoi reads it (blanks, sign, digits), saturated far outside
// the int range instead of overflowing.
long long LeadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 1'000'000'000'000LL)
            value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

// A line's text: cut at its first LF, then at its first CR.
std::string LineText(std::string_view text) {
    text = text.substr(0, text.find('\n'));
    text = text.substr(0, text.find('\r'));
    return std::string(text);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

LrcTimeline::LrcTimeline(std::function<void()> redraw) : redraw_(std::move(redraw)) {
    ResetCursors();
}

int LrcTimeline::ParseTimeTag(std::string_view tag) {
    for (std::string_view meta : {"ti:", "ar:", "al:", "by:", "offset:"})
        if (tag.find(meta) != std::string_view::npos)
            return -1;
    size_t colon = tag.find(':');
    if (colon == std::string_view::npos)
        return -1;
    size_t dot = tag.find('.', colon + 1);
    if (dot == std::string_view::npos)
        return -1;
    long long minutes = LeadingInteger(tag.substr(0, colon));
    long long seconds = LeadingInteger(tag.substr(colon + 1, dot - colon - 1));
    long long total = minutes * 60 + seconds;
    if (total < std::numeric_limits<std::int32_t>::min() ||
        total > std::numeric_limits<std::int32_t>::max())
        return -1;
    return static_cast<int>(total);
}

bool LrcTimeline::LoadLrcFile(std::string_view sid, const WorkFolder& work) {
    lrcLoaded_ = false;
    std::optional<std::string> path = work.Cache(kCacheLyrics, sid);
    lrcPath_ = path.value_or(std::string());
    if (!path || path->size() > work.Folder().size() + kMaxPathLength) // the part below the folder
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path->c_str(), "rb"));
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(file.get());
    if (size < 1 || size > kMaxFileBytes || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::string bytes(static_cast<size_t>(size), '\0');
    size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        lrcText_.clear();
        return false;
    }
    bytes.resize(got);
    // Read as a text file: CR LF pairs become LF.
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i];
    }
    SetLrcText(text);
    return true;
}

void LrcTimeline::SetLrcText(std::string_view text) {
    lrcText_.assign(text.substr(0, text.find('\0')));
}

void LrcTimeline::ParseLrc() {
    timeline_.clear();
    ResetCursors();
    const std::string_view text = lrcText_;
    std::vector<int> pending;
    size_t lastClose = 0;
    bool afterMeta = false;

    auto flush = [&](std::string_view lineText) {
        std::string line = LineText(lineText);
        for (int t : pending)
            timeline_.emplace(t, line); // never overwrites: the first line wins
        pending.clear();
    };

    size_t open = FindUnpaired(text, 0, '[');
    while (open != std::string_view::npos) {
        size_t close = FindUnpaired(text, open, ']');
        if (close == std::string_view::npos)
            break;
        int t = ParseTimeTag(text.substr(open + 1, close - open - 1));
        if (t == -1) {
            afterMeta = true;
        } else {
            if (!afterMeta && open != lastClose) {
                // Everything up to the "[" but the character right before it (the line's LF).
                std::string_view between = text.substr(lastClose, open - lastClose);
                flush(between.substr(0, LastCharacterStart(between)));
            }
            afterMeta = false;
            pending.push_back(t);
        }
        lastClose = close + 1;
        open = FindUnpaired(text, lastClose, '[');
    }
    if (!afterMeta)
        flush(text.substr(lastClose));
    ResetCursors();
    lrcLoaded_ = true;
}

void LrcTimeline::ClearLrc() {
    lrcLoaded_ = false;
    timeline_.clear();
    ResetCursors();
    Redraw();
}

void LrcTimeline::SetPlayTime(int seconds) {
    auto it = timeline_.find(seconds);
    if (it == timeline_.end())
        return;
    curLine_ = it;
    prevLine_ = it == timeline_.begin() ? timeline_.end() : std::prev(it);
    nextLine_ = std::next(it);
    Redraw();
}

const std::string& LrcTimeline::Text(Cursor c) const {
    static const std::string kNone;
    return c == timeline_.end() ? kNone : c->second;
}

std::optional<int> LrcTimeline::Key(Cursor c) const {
    if (c == timeline_.end())
        return std::nullopt;
    return c->first;
}

void LrcTimeline::ResetCursors() {
    prevLine_ = curLine_ = nextLine_ = timeline_.end();
}

void LrcTimeline::Redraw() const {
    if (redraw_)
        redraw_();
}
