// The whole program against the demo station while one fault at a time is switched on and off
// again. Each row names the fault, the paths it hits, what the listener does while it lasts and
// what must be seen once it is over. Every case also checks that the window kept serving its
// 50 ms timer, that every file in Temp/ is a complete copy of a body the station served, that
// nothing was written outside Temp/ and that closing empties the cache. The hostile rows (a
// label of their own) bring markup, empty or repeating or huge playlists, a huge cover and endless
// songs; every case also checks that no widget renders markup, that Temp/ never holds a file over
// its cap and that config.ini holds only the program's sections, pointing at the station.
#include "app/CMainDlg.h"
#include "controls/CChannelPage.h"
#include "controls/CPicture.h"
#include "controls/CTrumWindow.h"
#include "controls/ReportListView.h"
#include "lyrics/CLrcWindow.h"
#include "playback/CAudioPlayer.h"
#include "settings/IniFile.h"
#include "tests/support/TestStation.h"
#include "tests/support/qt/ProgramUnderTest.h"
#include "tests/support/qt/TickGapProbe.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"

#include <QLabel>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace {

constexpr double kSongSeconds = 2;
constexpr int kFirstSongMs = 20000;
// A UI thread waiting on a stalled or trickled transfer would be held a second or more (a stall
// lasts kStallLimitMs, a trickle sends 16 bytes per 100 ms); a busy machine holds it for a fraction
// of that, so these bounds tell the two apart without failing on a slow machine.
constexpr int kOpenLimitMs = 5000; // the window appears without waiting for the network
constexpr int kFaultMs = 6000;
constexpr int kRecoveryMs = 15000;
constexpr qint64 kMaxTickGapMs = 500;
// A stall that is never switched off (the UI thread itself held in it) still ends, so a case
// that freezes the window fails in bounded time.
constexpr int kStallLimitMs = 10000;
constexpr float kPlayedSeconds = 0.3f; // a song counts as playing once this far in
// Noise moves nearly every bar of the spectrum at once; the station's melodies half of them.
constexpr int kBarUpPixels = 3;
constexpr int kNoiseBarsUp = 40;

const QString kSigningIn = QStringLiteral("正在登录...");
const QString kPreparing = QStringLiteral("准备列表...");
const QString kPlaying = QStringLiteral("正在播放");

const char* const kPeople = "/j/app/radio/people";
const char* const kMusic = "/music/";
const char* const kCover = "/cover/";
const char* const kChannels = "/j/app/radio/channels";
const char* const kLogin = "/j/app/login";

// What the listener does as the fault comes on.
enum class Action {
    kOpenWindow,   // starts the program while the fault is on
    kFirstReply,   // the fault comes on once the first songs are queued, before it plays
    kLastSong,     // plays the last queued song, so the list runs out while the fault lasts
    kOtherChannel, // switches channel: a new list whose songs are streamed and prefetched
    kNextSongs,    // skips to the next song now and halfway: new covers and lyrics searches
    kChannelPage,  // shows the channel page, whose list is fetched when it is first shown
};

// What must be seen once the fault is off, besides playback going on.
enum class Outcome {
    kPlaysOn,
    kCoverShows,     // the playing song's own cover is loaded
    kLyricsShow,     // a playing song's own lyrics are loaded
    kChannelsListed, // the channel page, shown again, lists every channel
};

struct Row {
    std::string name;
    StationFault fault;
    std::string paths; // prefixes, separated by ","
    Action action;
    Outcome outcome;
    int maxPlaylistRequests = -1;       // while the fault lasts; -1: not checked
    QString statusAtFaultEnd = {};      // empty: not checked
    bool listFrozenDuringFault = false; // no song of a faulty reply may be queued
    int songsPlayedDuringFault = 0;     // at least, while the fault lasts
    bool wholeSpectrumDuringFault = false;
};

// Where faults hit. The second lyrics site is asked first; its search failing as well sends
// every song to the first site's .lrc files.
struct Target {
    const char* name;
    const char* paths;
    Action action;
    Outcome outcome;
    QString statusAtFaultEnd;
    bool listFrozen;
};
const Target kTargets[] = {
    {"playlist", kPeople, Action::kLastSong, Outcome::kPlaysOn, kPreparing, true},
    {"music", kMusic, Action::kOtherChannel, Outcome::kPlaysOn, {}, false},
    {"cover", kCover, Action::kNextSongs, Outcome::kCoverShows, {}, false},
    {"lyrics_site1", "/s/,/d/", Action::kNextSongs, Outcome::kLyricsShow, {}, false},
    {"lyrics_site2", "/so.asp,/lrc/", Action::kNextSongs, Outcome::kLyricsShow, {}, false},
    {"channels", kChannels, Action::kChannelPage, Outcome::kChannelsListed, {}, false},
    {"login", kLogin, Action::kOpenWindow, Outcome::kPlaysOn, kSigningIn, false},
};

const std::pair<const char*, StationFault> kFaults[] = {
    {"drop", StationFault::DropMidBody}, {"stall", StationFault::Stall},
    {"500", StationFault::ServerError},  {"badjson", StationFault::BadJson},
    {"trickle", StationFault::Trickle},
};

std::vector<Row> MakeRows() {
    std::vector<Row> rows;
    for (const Target& t : kTargets) {
        for (const auto& [faultName, fault] : kFaults) {
            // A trickled sign-in is short enough to finish while the fault lasts.
            const bool slowButDone =
                fault == StationFault::Trickle && t.action == Action::kOpenWindow;
            rows.push_back({.name = std::string(t.name) + "_" + faultName,
                            .fault = fault,
                            .paths = t.paths,
                            .action = t.action,
                            .outcome = t.outcome,
                            .statusAtFaultEnd = slowButDone ? QString() : t.statusAtFaultEnd,
                            .listFrozenDuringFault = t.listFrozen});
        }
    }
    // The .lrc files themselves answering wrongly (the searches above fail before any link).
    for (const auto& [faultName, fault] : kFaults) {
        if (fault != StationFault::DropMidBody && fault != StationFault::ServerError &&
            fault != StationFault::BadJson)
            continue;
        for (const auto& [site, paths] : {std::pair{"1_", "/so.asp,/d/"}, {"2_", "/lrc/"}})
            rows.push_back({.name = std::string("lyrics_files") + site + faultName,
                            .fault = fault,
                            .paths = paths,
                            .action = Action::kNextSongs,
                            .outcome = Outcome::kLyricsShow});
    }
    // The whole station refusing connections: playing on while the list runs out, and starting.
    rows.push_back({.name = "station_down",
                    .fault = StationFault::Down,
                    .paths = "",
                    .action = Action::kLastSong,
                    .outcome = Outcome::kPlaysOn,
                    .statusAtFaultEnd = kPreparing,
                    .listFrozenDuringFault = true});
    rows.push_back({.name = "login_down",
                    .fault = StationFault::Down,
                    .paths = "",
                    .action = Action::kOpenWindow,
                    .outcome = Outcome::kPlaysOn,
                    .statusAtFaultEnd = kSigningIn});
    // A valid reply too big to hold: refused, and asked for again.
    rows.push_back({.name = "playlist_50MB",
                    .fault = StationFault::HugeBody,
                    .paths = kPeople,
                    .action = Action::kLastSong,
                    .outcome = Outcome::kPlaysOn,
                    .statusAtFaultEnd = kPreparing,
                    .listFrozenDuringFault = true});
    // Songs that decode but are no music, and songs that end part-way through a frame.
    rows.push_back({.name = "music_noise",
                    .fault = StationFault::NoiseSong,
                    .paths = kMusic,
                    .action = Action::kOtherChannel,
                    .outcome = Outcome::kPlaysOn,
                    .songsPlayedDuringFault = 2,
                    .wholeSpectrumDuringFault = true});
    rows.push_back({.name = "music_truncated",
                    .fault = StationFault::Truncated,
                    .paths = kMusic,
                    .action = Action::kOtherChannel,
                    .outcome = Outcome::kPlaysOn,
                    .songsPlayedDuringFault = 2});
    return rows;
}

// Replies that bring no new song are asked again on the back-off (1, 2, 4 s...), not at once.
constexpr int kBackedOffRequests = 5;

std::vector<Row> HostileRows() {
    return {
        {"markup", StationFault::Markup, "", Action::kChannelPage, Outcome::kChannelsListed},
        {"empty", StationFault::EmptyList, kPeople, Action::kFirstReply, Outcome::kPlaysOn,
         kBackedOffRequests},
        {"repeat", StationFault::RepeatList, kPeople, Action::kLastSong, Outcome::kPlaysOn,
         kBackedOffRequests},
        // The new channel's 100,000-song reply starts playing while the fault lasts.
        {.name = "hugelist",
         .fault = StationFault::HugeList,
         .paths = kPeople,
         .action = Action::kOtherChannel,
         .outcome = Outcome::kPlaysOn,
         .songsPlayedDuringFault = 1},
        {"hugecover", StationFault::HugeCover, kCover, Action::kNextSongs, Outcome::kCoverShows},
        {"endless", StationFault::EndlessSong, kMusic, Action::kOtherChannel, Outcome::kPlaysOn},
    };
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

bool Hits(const Row& row, const std::string& prefix) {
    return ("," + row.paths + ",").find("," + prefix + ",") != std::string::npos;
}

// The lyrics file the program keeps for a body: up to its first NUL, LF as CR LF, one NUL.
std::string LyricsFileOf(std::string_view body) {
    body = body.substr(0, body.find('\0'));
    std::string file;
    for (char c : body) {
        if (c == '\n')
            file += '\r';
        file += c;
    }
    file += '\0';
    return file;
}

// The complete bodies the station may have served for a cache file while the row ran.
std::vector<std::string> Served(const DemoStation& station, const Row& row,
                                const std::string& folder, const std::string& sid) {
    const SongMedia* media = station.Media(sid);
    std::vector<std::string> bodies;
    const std::string junk(DemoStation::BadJsonBody());
    if (folder == "Music") {
        bodies.push_back(media->mp3);
        if (Hits(row, kMusic)) {
            if (row.fault == StationFault::BadJson)
                bodies.push_back(junk);
            if (row.fault == StationFault::Truncated)
                bodies.push_back(media->mp3.substr(0, media->mp3.size() / 2));
            if (row.fault == StationFault::NoiseSong)
                bodies.push_back(station.NoiseMp3(sid));
        }
    } else if (folder == "Album") {
        bodies.push_back(media->jpg);
        if (Hits(row, kCover) && row.fault == StationFault::BadJson)
            bodies.push_back(junk);
    } else {
        bodies.push_back(LyricsFileOf(station.LyricsGbk(sid)));
        if ((Hits(row, "/d/") || Hits(row, "/lrc/")) && row.fault == StationFault::BadJson)
            bodies.push_back(LyricsFileOf(junk));
    }
    return bodies;
}

class FaultSuite : public ::testing::TestWithParam<Row> {
protected:
    FaultSuite() : station(Options()) { EXPECT_TRUE(station.Start(0)); }

    static DemoStationOptions Options() {
        DemoStationOptions o = TestStationOptions(kSongSeconds);
        o.stallMs = kStallLimitMs;
        o.trickleBytes = 16;
        o.trickleIntervalMs = 100;
        return o;
    }

    // Runs the event loop for ms, noting every song that got under way.
    void PumpFor(int ms) {
        ProgramUnderTest::PumpUntil(
            [&] {
                Observe();
                return false;
            },
            ms);
    }
    bool PumpUntil(const std::function<bool()>& done, int ms) {
        return ProgramUnderTest::PumpUntil(
            [&] {
                Observe();
                return done();
            },
            ms);
    }
    void Observe() {
        const auto now = program->Now();
        if (now.seconds > kPlayedSeconds)
            played.insert({now.index, now.sid});
        if (const CMainDlg* dlg = program->Window()) {
            int up = 0;
            for (int i = 0; i < CTrumWindow::kBarCount; ++i)
                up += dlg->SpectrumWindow()->BarHeight(i) >= kBarUpPixels;
            mostBarsUp = std::max(mostBarsUp, up);
            for (QWidget* w : dlg->findChildren<QWidget*>()) {
                auto* label = qobject_cast<QLabel*>(w);
                const QString text =
                    label && label->textFormat() != Qt::PlainText ? label->text() : QString();
                for (const QString& t : {w->toolTip(), text})
                    if (t.contains(QStringLiteral("<img")) && Qt::mightBeRichText(t))
                        ADD_FAILURE() << "markup shown by " << w->metaObject()->className();
            }
        }
        std::error_code error;
        const std::map<std::string, std::uintmax_t> caps = {
            {"Music", 256u << 20}, {"Album", 16u << 20}, {"Lyrics", 4u << 20}};
        for (auto it =
                 std::filesystem::recursive_directory_iterator(program->Folder() / "Temp", error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            // A file gone meanwhile (a transfer ended) reads as an error, not a size.
            const auto cap = caps.find(it->path().parent_path().filename().string());
            if (cap == caps.end())
                continue;
            const std::uintmax_t bytes = it->file_size(error);
            if (!error && bytes > cap->second)
                ADD_FAILURE() << it->path() << " is over its cap";
        }
    }

    // Every file with a cache name holds a complete body the station served; other files
    // (transfers under way) are looked at after the close. Reading the files is the test's
    // work, not the window's: the probe pauses meanwhile.
    void ExpectHonestCache(const char* when) {
        probe.Stop();
        const std::set<std::string> extension = {"Music.mp3", "Album.jpg", "Lyrics.lrc"};
        for (const auto& [path, bytes] : program->CacheFiles()) {
            const std::filesystem::path p(path);
            const std::string folder = p.parent_path().filename().string();
            const std::string sid = p.stem().string();
            // Marked-up lyrics are the station's own making, not a copy of a file.
            if (!extension.count(folder + p.extension().string()) || !station.Media(sid) ||
                (GetParam().fault == StationFault::Markup && folder == "Lyrics"))
                continue;
            const auto bodies = Served(station, GetParam(), folder, sid);
            if (std::find(bodies.begin(), bodies.end(), bytes) == bodies.end())
                ADD_FAILURE() << when << ": " << path << " holds " << bytes.size()
                              << " bytes, no complete body the station served (the song's own "
                              << "is " << bodies.front().size() << " bytes)";
        }
        probe.Resume();
    }

    bool FaultMet() const {
        const auto requests = station.Requests();
        return std::any_of(requests.begin(), requests.end(),
                           [](const StationRequest& r) { return r.fault != StationFault::None; });
    }

    DemoStation station;
    std::unique_ptr<ProgramUnderTest> program;
    TickGapProbe probe;
    std::set<std::pair<int, std::string>> played;
    int mostBarsUp = 0;
};

TEST_P(FaultSuite, KeepsPlayingWithAnHonestCacheAndALiveWindow) {
    const Row& row = GetParam();
    // Noise is encoded on first use; made now, it does not compete with the program for the CPU.
    if (row.fault == StationFault::NoiseSong)
        for (const DemoSong& song : DemoCatalog::Songs())
            station.NoiseMp3(song.sid);
    program = std::make_unique<ProgramUnderTest>(station.BaseUrl());
    const auto outside = program->FilesOutsideCache();

    if (row.action == Action::kOpenWindow)
        station.SetFault(row.fault, row.paths);
    QElapsedTimer clock;
    clock.start();
    CMainDlg& dlg = program->Open();
    EXPECT_LT(clock.elapsed(), kOpenLimitMs) << "the window waited for the network";
    // Measured from the first showing on: laying out and painting a new window is no wait.
    QCoreApplication::processEvents();
    probe.Start();

    if (row.action == Action::kFirstReply) {
        ASSERT_TRUE(PumpUntil([&] { return program->Songs().Count() > 0; }, kFirstSongMs));
        station.SetFault(row.fault, row.paths);
    } else if (row.action != Action::kOpenWindow) {
        ASSERT_TRUE(
            PumpUntil([&] { return program->Now().seconds > kPlayedSeconds; }, kFirstSongMs))
            << program->Describe();
        station.SetFault(row.fault, row.paths);
    }
    const int queuedAtFault = program->Songs().Count();
    const std::size_t playlistsBefore = station.RequestsTo(kPeople).size();
    const auto playedBefore = played.size();
    mostBarsUp = 0;
    switch (row.action) {
    case Action::kLastSong:
        dlg.PlaySongAt(queuedAtFault - 1);
        break;
    case Action::kOtherChannel:
        dlg.SwitchChannel(DemoCatalog::Channels().at(dlg.Session().ChannelId() == 1 ? 1 : 0).channel_id);
        break;
    case Action::kNextSongs:
        dlg.OnNext();
        break;
    case Action::kChannelPage:
        dlg.OnChannelButton();
        break;
    case Action::kOpenWindow:
    case Action::kFirstReply:
        break;
    }
    PumpFor(kFaultMs / 2);
    if (row.action == Action::kNextSongs)
        dlg.OnNext();
    PumpFor(kFaultMs / 2);

    // While the fault was on.
    // A station that is down receives nothing; what it refused shows in the outcome.
    if (row.fault != StationFault::Down) {
        EXPECT_TRUE(FaultMet()) << "no request met the fault";
    }
    if (!row.statusAtFaultEnd.isEmpty()) {
        EXPECT_EQ(dlg.StatusText().toStdString(), row.statusAtFaultEnd.toStdString());
    }
    if (row.listFrozenDuringFault) {
        EXPECT_EQ(program->Songs().Count(), queuedAtFault);
    }
    if (row.songsPlayedDuringFault > 0) {
        EXPECT_GE(played.size() - playedBefore,
                  static_cast<std::size_t>(row.songsPlayedDuringFault))
            << program->Describe();
    }
    if (row.wholeSpectrumDuringFault) {
        EXPECT_GE(mostBarsUp, kNoiseBarsUp);
    }
    if (row.maxPlaylistRequests >= 0) {
        EXPECT_LE(station.RequestsTo(kPeople).size() - playlistsBefore,
                  static_cast<std::size_t>(row.maxPlaylistRequests));
    }
    ExpectHonestCache("while the fault was on");

    // Once it is off: playback goes on with another song, or the same one moves on, and the
    // status says so.
    station.ClearFault();
    clock.restart();
    const auto atFaultEnd = program->Now();
    EXPECT_TRUE(PumpUntil(
        [&] {
            const auto now = program->Now();
            if (now.state != CAudioPlayer::Playing || dlg.StatusText() != kPlaying)
                return false;
            return (now.index != atFaultEnd.index || now.sid != atFaultEnd.sid)
                       ? now.seconds > kPlayedSeconds
                       : now.seconds >= atFaultEnd.seconds + 1.0f;
        },
        kRecoveryMs))
        << "playback did not go on: " << program->Describe();

    const int leftMs = std::max<int>(0, kRecoveryMs - clock.elapsed());
    switch (row.outcome) {
    case Outcome::kPlaysOn:
        break;
    case Outcome::kCoverShows:
        EXPECT_TRUE(PumpUntil(
            [&] {
                const DemoSong* song = DemoCatalog::FindSong(program->Now().sid);
                const CPicture* cover = dlg.CoverPicture();
                return song && !cover->IsEmpty() && cover->width == song->coverWidth &&
                       cover->height == song->coverHeight;
            },
            leftMs))
            << "no cover shown: " << program->Describe();
        break;
    case Outcome::kLyricsShow:
        EXPECT_TRUE(PumpUntil(
            [&] {
                // Every line shown comes from the playing song's own lyrics.
                const std::string own = station.LyricsGbk(program->Now().sid);
                const LrcTimeline& lyrics = dlg.LrcWindow()->Timeline();
                const auto& lines = lyrics.GetTimeline();
                return !own.empty() && lyrics.IsLoaded() && !lines.empty() &&
                       std::all_of(lines.begin(), lines.end(), [&](const auto& line) {
                           return own.find(line.second) != std::string::npos;
                       });
            },
            leftMs))
            << "no lyrics shown: " << program->Describe();
        break;
    case Outcome::kChannelsListed:
        dlg.OnChannelButton(); // back to the songs
        dlg.OnChannelButton(); // and the channels again
        EXPECT_TRUE(PumpUntil(
            [&] {
                return dlg.ChannelPage()->List()->ItemCount() ==
                       static_cast<int>(DemoCatalog::Channels().size());
            },
            leftMs))
            << "the channel page lists " << dlg.ChannelPage()->List()->ItemCount() << " rows";
        break;
    }
    ExpectHonestCache("after the fault");
    probe.Stop();
    EXPECT_LT(probe.LongestHeldMs(), kMaxTickGapMs)
        << "the window's timer was held up (longest gap " << probe.LongestGapMs() << " ms)";

    program->Close();
    for (const auto& [path, bytes] : program->CacheFiles())
        ADD_FAILURE() << "left after the close: " << path << " (" << bytes.size() << " bytes)";
    const auto after = program->FilesOutsideCache();
    for (const auto& [path, bytes] : after)
        if (!outside.count(path) || outside.at(path) != bytes)
            ADD_FAILURE() << "written outside Temp/: " << path;
    for (const auto& [path, bytes] : outside)
        if (!after.count(path))
            ADD_FAILURE() << "removed outside Temp/: " << path;
    IniFile ini;
    ASSERT_TRUE(ini.Load((program->Folder() / "config.ini").string()));
    std::multiset<std::string> sections;
    for (const IniFile::Section& section : ini.Sections())
        sections.insert(section.name);
    EXPECT_EQ(sections, (std::multiset<std::string>{"Account", "AppSet", "Server"}));
    std::string service;
    ini.GetString("Server", "service", service, "");
    EXPECT_EQ(service, station.BaseUrl());
}

const auto kRowName = [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Faults, FaultSuite, ::testing::ValuesIn(MakeRows()), kRowName);
INSTANTIATE_TEST_SUITE_P(Hostile, FaultSuite, ::testing::ValuesIn(HostileRows()), kRowName);

} // namespace
