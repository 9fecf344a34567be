#pragma once
#include "tools/DemoCatalog.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib
class LoopbackServer;

// Ways the station can misbehave on purpose, for the client's robustness tests.
enum class StationFault {
    None,
    DropMidBody, // sends the headers and half the body, then closes the connection
    Stall,       // sends nothing for stallMs (or until Stop), then answers normally
    ServerError, // 500 with an HTML page
    BadJson,     // 200 with a body that is not valid JSON
    Trickle,     // the normal answer, trickleBytes every trickleIntervalMs
    HugeBody,    // the normal answer followed by hugeBytes blanks (JSON stays valid)
    NoiseSong,   // /music/ answers with white noise as long as the song; other paths normally
    Truncated,   // the first half of the body, sent as if it were the whole answer
    Down,        // the whole station: stops listening, so connections are refused, until the
                 // fault is replaced; then it listens on the same port again
    // Hostile content, as a hostile service (or anyone on the path of its plain-HTTP replies)
    // could send it:
    Markup,      // titles, artists, albums, channel names and lyrics lines carry markup (an image
                 // read from /dev/zero, a link, an entity) and line feeds that would be sections
                 // of config.ini, before their own text; each playlist reply also brings a song
                 // whose sid holds line feeds. Set it on "/d/,/lrc/" alone for lyrics the client
                 // still finds (its search then sees plain titles).
    EmptyList,   // playlist replies bring no song
    RepeatList,  // every playlist reply brings the same songs, those of the channel's first one
    HugeList,    // a playlist reply of hugeListSongs songs, the channel's songs over and over
    HugeCover,   // covers of hugeCoverBytes (the picture, then zeros), sent without a length
    EndlessSong, // songs that never end: the MP3 over and over, sent without a length
};
// Stall and Trickle last only while their fault is in force: switching the fault off (or to
// another) lets a stalled answer go out and a trickling one send its rest at once, as a network
// that recovers would.

// Parses "drop", "stall", "500", "badjson", "trickle", "huge", "noise", "truncated", "down",
// "markup", "empty", "repeat", "hugelist", "hugecover", "endless", "none"; false for anything
// else.
bool ParseStationFault(std::string_view name, StationFault& fault);

struct DemoStationOptions {
    double songSeconds = 0; // > 0: every song this long (tests); else each its own 20-40 s
    std::string cacheDir;   // media generated once into a folder below it; empty: memory only
    std::string host = "127.0.0.1";
    int playlistSize = 5;    // songs per playlist reply, at most the channel's songs unless:
    bool repeatPool = false; // a longer reply goes round the channel's songs again (long queues)
    bool checkToken = true;  // playlist requests must carry the demo account's sign-in values
    int stallMs = 60000;
    std::size_t trickleBytes = 16;
    int trickleIntervalMs = 50;
    std::size_t hugeBytes = 50u << 20;
    int hugeListSongs = 100'000;
    std::size_t hugeCoverBytes = 200u << 20;
    // Texts in every script, for tests: song n of the catalog is titled titles[n % size] and
    // channel n of the list named titles[n % size]. Empty: the catalog's own.
    std::vector<std::string> titles;
    // Gets one line per request (request line and body); the program prints them.
    std::function<void(const std::string&)> logLine;
};

// One request as the station received it.
struct StationRequest {
    std::string method;
    std::string target; // path and query exactly as sent
    std::string path;
    std::string body;
    StationFault fault = StationFault::None; // the fault this request met
    // Query and form-body values, percent-decoded ("+" as blank), in arrival order.
    std::vector<std::pair<std::string, std::string>> params;

    std::string Param(std::string_view key) const; // first value; empty when absent
    bool HasParam(std::string_view key) const;
};

// The generated files of one song. lrc is UTF-8; the lyrics sites serve it as GBK.
struct SongMedia {
    std::string mp3, lrc, jpg;
    double seconds = 0;
};

// The local radio service and the two lyrics sites on one loopback port:
//   POST /j/app/login, GET /j/app/radio/channels, GET /j/app/radio/people (type n and e),
//   GET /s/?key=..&mf=1&qf=1 (first lyrics site, UTF-8), POST /so.asp (second site, GBK),
//   GET /d/<id>.lrc and /lrc/<id>.lrc (the sites' lyrics), /music/<sid>.mp3, /cover/<sid>.jpg.
class DemoStation {
public:
    explicit DemoStation(DemoStationOptions options = {});
    ~DemoStation(); // stops
    DemoStation(const DemoStation&) = delete;
    DemoStation& operator=(const DemoStation&) = delete;

    // Generates the media, or reads them from the cache folder when it holds a complete set of
    // the same kind. Start calls it when it has not run. False when a file cannot be written or
    // the encoders fail.
    bool Prepare();
    // Serves on the host and port (0: an ephemeral port) from a thread of its own.
    bool Start(int port = 0);
    void Stop(); // wakes stalled answers, stops serving and joins every thread
    int Port() const { return port_; }
    std::string BaseUrl() const; // "http://127.0.0.1:PORT"

    // The fault hits requests whose path starts with pathPrefix (empty: all), `times` times
    // (negative: until cleared). Down ignores both and, like leaving it, stops or starts serving:
    // call it from the thread that calls Start and Stop.
    void SetFault(StationFault fault, std::string pathPrefix = {}, int times = -1);
    void ClearFault() { SetFault(StationFault::None); }

    std::vector<StationRequest> Requests() const;
    std::vector<StationRequest> RequestsTo(std::string_view path) const;
    // Waits until `count` requests to path have arrived; false on time-out.
    bool WaitForRequests(std::string_view path, std::size_t count,
                         std::chrono::milliseconds timeout) const;
    void ClearLog();

    // Valid after Prepare; never changed afterwards, so readable from any thread.
    const SongMedia* Media(std::string_view sid) const;
    std::string LyricsGbk(std::string_view sid) const; // what the sites serve for the song
    bool LikedNow(std::string_view sid) const;
    // What the NoiseSong fault serves for the song; empty for an unknown sid.
    std::string NoiseMp3(std::string_view sid) const;
    // The body the BadJson fault serves.
    static std::string_view BadJsonBody();
    const std::string& MediaFolder() const { return mediaFolder_; } // empty without a cache

    // Makes dir a working folder for the client against a station at baseUrl: config.ini
    // ("Server" keys at the station, the demo account remembered and signed in automatically,
    // volume 50; replaced if present, in one step, owner-only) and the Temp cache folders. False
    // when a folder or the file cannot be written.
    static bool WriteClientFolder(const std::string& dir, const std::string& baseUrl);

private:
    const std::string& TitleAt(std::size_t n) const {
        return options_.titles[n % options_.titles.size()];
    }
    struct Reply {
        int status = 200;
        std::string contentType;
        std::string body;
    };
    using Handler = Reply (DemoStation::*)(const StationRequest&);

    void Route(const httplib::Request& req, httplib::Response& res, Handler handler);
    void Send(const httplib::Request& req, httplib::Response& res, Reply reply, StationFault fault,
              std::uint64_t serial);
    // The fault for path and the serial of the setting it came from.
    StationFault TakeFault(const std::string& path, std::uint64_t& serial);
    // Waits up to duration; false at once when the fault setting of that serial is replaced or
    // the station stops.
    bool FaultStillSet(std::uint64_t serial, std::chrono::milliseconds duration);
    bool Stopping();
    void Log(const StationRequest& request);

    Reply Login(const StationRequest& r);
    Reply ChannelList(const StationRequest& r);
    Reply People(const StationRequest& r);
    Reply FirstSiteSearch(const StationRequest& r);
    Reply SecondSiteSearch(const StationRequest& r);
    Reply FirstSiteLyrics(const StationRequest& r);
    Reply SecondSiteLyrics(const StationRequest& r);
    Reply Music(const StationRequest& r);
    Reply Cover(const StationRequest& r);
    Reply Index(const StationRequest& r);
    Reply NotFound(const StationRequest& r);
    Reply LyricsFile(const StationRequest& r, std::string_view prefix, unsigned site);

    bool LoadCachedMedia(const std::string& folder);
    bool GenerateMedia();
    std::string SongUrl(const DemoSong& song, const char* kind) const;

    const DemoStationOptions options_;
    // Written by Prepare before Start; read-only while serving.
    std::map<std::string, SongMedia, std::less<>> media_;
    std::string mediaFolder_;
    bool prepared_ = false;

    // Routes added by the constructor; started and stopped by the thread that calls Start and Stop.
    const std::unique_ptr<LoopbackServer> server_;
    int port_ = 0;
    bool down_ = false; // serving stopped by StationFault::Down

    mutable std::mutex logMutex_;
    mutable std::condition_variable logChanged_; // with logMutex_
    std::vector<StationRequest> log_;            // guarded by logMutex_

    std::mutex faultMutex_;
    std::condition_variable faultChanged_;    // with faultMutex_
    StationFault fault_ = StationFault::None; // guarded by faultMutex_
    std::string faultPrefix_;                 // guarded by faultMutex_
    int faultTimes_ = -1;                     // guarded by faultMutex_
    std::uint64_t faultSerial_ = 0;           // guarded by faultMutex_; bumped by SetFault and Stop

    mutable std::mutex noiseMutex_;
    mutable std::map<std::string, std::string, std::less<>> noise_; // guarded by noiseMutex_

    mutable std::mutex stateMutex_;
    std::map<int, std::size_t> rotation_; // channel_id -> next song; guarded by stateMutex_
    std::map<std::string, bool, std::less<>> liked_; // sid -> liked; guarded by stateMutex_

    std::mutex stopMutex_;
    bool stopping_ = false; // guarded by stopMutex_
};
