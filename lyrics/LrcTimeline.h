#pragma once
#include "service/WorkFolder.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The lyrics of the playing song: the LRC text from the lyrics cache, turned into a timeline
// from whole seconds of play time to lines, and three cursors (previous, current and next line)
// that follow the play time. The lyrics window owns one, paints the three line texts while
// IsLoaded() and supplies the redraw callback. User-interface thread only; no lock.
//
// The LRC scan is deliberately simple, and accepts what a strict reader would not:
// - A tag is "[" up to the next "]". A time tag is "[m:s.f]": minutes and seconds read the way
//   atoi reads them, the fraction ignored (not rounded); "[00:05]" without the full stop is no
//   time tag. Tags holding "ti:", "ar:", "al:", "by:" or "offset:" anywhere, and every tag that
//   is no time tag, count as metadata; "offset:" does not shift the timeline.
// - A metadata tag discards the text after it, and times pending before it wait for the next
//   text; times pending when the last tag is metadata are dropped.
// - Text is taken up to the next "[" minus the character right before it (the line's LF), then
//   cut at its first LF and first CR: text directly followed by a tag loses its last character.
// - The first line in file order wins for each whole second.
// - "[" and "]" that are second bytes of GBK characters are text, not brackets.
// - A "[" without a "]" ends the scan; the text after the last complete tag is still taken.
// Limits: a time outside the 32-bit range is no time tag; files over kMaxFileBytes, and cache
// paths whose part below the working folder is longer than kMaxPathLength, are not loaded.
class LrcTimeline {
public:
    using Timeline = std::map<std::int32_t, std::string>;

    static constexpr size_t kMaxPathLength = 259;
    static constexpr long long kMaxFileBytes = 8 << 20;

    explicit LrcTimeline(std::function<void()> redraw = {});
    // The cursors point into the timeline: not copyable, not movable.
    LrcTimeline(const LrcTimeline&) = delete;
    LrcTimeline& operator=(const LrcTimeline&) = delete;

    void SetRedraw(std::function<void()> redraw) { redraw_ = std::move(redraw); }

    // Whole seconds of a time tag's text (without the brackets), or -1 when it is none.
    static int ParseTimeTag(std::string_view tagText);

    // Loads the cache file of sid into the LRC text (CR LF read as LF, up to the first NUL).
    // Clears the loaded flag first; false when the file is missing, empty or unreadable.
    bool LoadLrcFile(std::string_view sid, const WorkFolder& work = WorkFolder());
    // Rebuilds the timeline from the LRC text; afterwards loaded, with no cursor.
    void ParseLrc();
    // Drops the lyrics and redraws.
    void ClearLrc();
    // Moves the cursors when a line starts at exactly that second, then redraws.
    void SetPlayTime(int seconds);

    // The LRC text as LoadLrcFile would leave it (cut at the first NUL).
    void SetLrcText(std::string_view text);

    bool IsLoaded() const { return lrcLoaded_; }
    const std::string& LrcPath() const { return lrcPath_; }
    const std::string& LrcText() const { return lrcText_; }
    const Timeline& GetTimeline() const { return timeline_; }

    // The three lines to paint; empty for a cursor that is none.
    const std::string& PrevLineText() const { return Text(prevLine_); }
    const std::string& CurLineText() const { return Text(curLine_); }
    const std::string& NextLineText() const { return Text(nextLine_); }
    std::optional<int> PrevLineKey() const { return Key(prevLine_); }
    std::optional<int> CurLineKey() const { return Key(curLine_); }
    std::optional<int> NextLineKey() const { return Key(nextLine_); }

private:
    using Cursor = Timeline::const_iterator;

    const std::string& Text(Cursor c) const;
    std::optional<int> Key(Cursor c) const;
    void ResetCursors();
    void Redraw() const;

    std::string lrcPath_;
    std::string lrcText_;
    Timeline timeline_;
    Cursor prevLine_;
    Cursor curLine_;
    Cursor nextLine_;
    bool lrcLoaded_ = false;
    std::function<void()> redraw_;
};
