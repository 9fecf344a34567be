#pragma once
// Private messages that workers and controls send to the main window. The numbers are part of
// the program's contract between threads, so they stay the window-message numbers they always had.

namespace msg {

constexpr unsigned kWmUser = 0x400;

constexpr unsigned kSongAppended = kWmUser + 101;     // 0x465 wParam: const SongRecord* (a copy)
constexpr unsigned kPlaylistArrived = kWmUser + 102;  // 0x466 wParam: songs in the list
constexpr unsigned kCoverReady = kWmUser + 103;       // 0x467 wParam: NowPlayingInfo*
constexpr unsigned kSongStarting = kWmUser + 104;     // 0x468 wParam: NowPlayingInfo*
constexpr unsigned kLyricsState = kWmUser + 105;      // 0x469 wParam: NowPlayingInfo*, lParam 0/1
constexpr unsigned kPrefetchPassDone = kWmUser + 106; // 0x46A
constexpr unsigned kFetchNoSongs = kWmUser + 107;     // 0x46B a playlist request added no song
constexpr unsigned kEndOfList = kWmUser + 108;        // 0x46C wParam: NowPlayingInfo*
constexpr unsigned kDecoderFailure = kWmUser + 110;   // 0x46E
constexpr unsigned kSliderRelease = kWmUser + 601;    // 0x659 wParam: control id, lParam: 0..100

} // namespace msg
