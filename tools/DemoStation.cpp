#include "tools/DemoStation.h"

#include "platform/CodePage.h"
#include "platform/TextEncoding.h"
#include "settings/IniFile.h"
#include "tools/LoopbackServer.h"
#include "tools/MediaGenerator.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <unistd.h>

#include <httplib.h>
#include <json/json.h>

namespace {

constexpr const char* kAppName = "radio_desktop_win";
constexpr const char* kAppVersion = "100";
constexpr const char* kMediaStamp = "complete";
constexpr int kMediaFormatVersion = 1;
constexpr std::size_t kLoggedBodyLimit = 4096; // per printed line; the in-memory log keeps all
constexpr std::size_t kHugeChunkBytes = 64 << 10;
constexpr const char* kBadJson = R"({"r":0,"err":"ok","channels":[{"name":"broken",)";
// What StationFault::Markup puts before a text.
constexpr const char* kMarkup = "<b>bold</b><i>&amp;</i><a href=\"http://127.0.0.1:9/\">link</a>"
                                "<img src=\"file:///dev/zero\">";
constexpr const char* kInjection = "\n[Server]\nservice=http://127.0.0.1:18299\n";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Form decoding: "%XX" to its byte, "+" to a blank; a malformed escape stays as it is.
std::string PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out.push_back(' ');
        } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
                   HexValue(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

void ParseForm(std::string_view text, std::vector<std::pair<std::string, std::string>>& out) {
    while (!text.empty()) {
        std::size_t amp = text.find('&');
        std::string_view pair = text.substr(0, amp);
        if (!pair.empty()) {
            std::size_t eq = pair.find('=');
            std::string_view key = pair.substr(0, eq);
            std::string_view value = eq == std::string_view::npos ? "" : pair.substr(eq + 1);
            out.emplace_back(PercentDecode(key), PercentDecode(value));
        }
        if (amp == std::string_view::npos)
            break;
        text.remove_prefix(amp + 1);
    }
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 0
                        : (c >> 5) == 6  ? 1
                        : (c >> 4) == 14 ? 2
                        : (c >> 3) == 30 ? 3
                                         : 9;
        if (n == 9 || (n == 1 && c < 0xC2) || c > 0xF4 || i + n >= s.size())
            return false;
        for (std::size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n + 1;
    }
    return true;
}

// The client percent-encodes its GBK texts; a browser would send UTF-8. Take either.
std::string SearchKeyToUtf8(const std::string& key) {
    return IsValidUtf8(key) ? key : CodePage::AnsiToUtf8(key);
}

// What a GBK site serves: characters GBK lacks are not there.
std::string Gbk(std::string_view utf8) {
    return CodePage::AnsiToGbk(CodePage::Utf8ToAnsi(utf8));
}

std::string Normalize(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string UpperAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string HtmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

// Bodies go into one log line: control and non-ASCII bytes as \xNN, capped.
std::string Printable(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < kLoggedBodyLimit; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (s.size() > kLoggedBodyLimit)
        out += "...(" + std::to_string(s.size()) + " bytes)";
    return out;
}

std::string ToJson(const Json::Value& v) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    builder["precision"] = 6;
    return Json::writeString(builder, v);
}

// Markup and line feeds before the text, which stays at the end (the first lyrics site finds a
// song by how its search key ends).
std::string Hostile(std::string_view text) {
    return kMarkup + std::string(kInjection) + std::string(text);
}

// Markup in every timed line of an LRC text.
std::string HostileLrc(std::string_view lrc) {
    std::string out;
    for (std::size_t at = 0; at < lrc.size();) {
        std::size_t end = std::min(lrc.find('\n', at), lrc.size());
        std::string_view line = lrc.substr(at, end - at);
        const std::size_t tag = line.find(']');
        if (line.size() > 1 && line[0] == '[' &&
            std::isdigit(static_cast<unsigned char>(line[1])) && tag != std::string_view::npos) {
            out.append(line.substr(0, tag + 1));
            out += kMarkup;
            out.append(line.substr(tag + 1));
        } else {
            out.append(line);
        }
        out += '\n';
        at = end + 1;
    }
    return out;
}

// Sends make(offset) piece after piece, without a length, until total bytes (0: for ever), the
// client hangs up or the station stops.
void SendEndless(httplib::Response& res, const char* type, std::size_t total,
                 std::function<std::string_view(std::size_t)> make,
                 std::function<bool()> stopping) {
    res.set_chunked_content_provider(
        type, [total, make = std::move(make),
               stopping = std::move(stopping)](std::size_t offset, httplib::DataSink& sink) {
            if (total && offset >= total) {
                sink.done();
                return true;
            }
            std::string_view piece = make(offset);
            if (total)
                piece = piece.substr(0, total - offset);
            return !stopping() && sink.write(piece.data(), piece.size());
        });
}

std::string ErrorPage(int status, const char* title, const std::string& detail) {
    return "<html><head><title>" + std::to_string(status) + " " + title +
           "</title></head><body><h1>" + title + "</h1><p>" + HtmlEscape(detail) +
           "</p><hr><address>lantor-station</address></body></html>\n";
}

bool ReadWholeFile(const std::filesystem::path& p, std::string& out) {
    std::ifstream f(p, std::ios::binary);
    if (!f)
        return false;
    std::ostringstream s;
    s << f.rdbuf();
    out = s.str();
    return !out.empty();
}

bool WriteWholeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// Other stations (other test processes) may read the same cache folder meanwhile: each file
// appears whole or not at all.
bool PublishFile(const std::filesystem::path& p, const std::string& bytes) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path aside =
        p.string() + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".new";
    std::error_code ec;
    if (WriteWholeFile(aside, bytes))
        std::filesystem::rename(aside, p, ec);
    else
        ec = std::make_error_code(std::errc::io_error);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(aside, ignored);
    }
    return !ec;
}

std::string MediaStampText(double songSeconds) {
    std::ostringstream s;
    s << "lantor-station media v" << kMediaFormatVersion << " songs " << DemoCatalog::Songs().size()
      << " seconds " << songSeconds << "\n";
    return s.str();
}

// "/d/2800101.lrc" with prefix "/d/" gives "2800101".
std::string_view NameBetween(std::string_view path, std::string_view prefix,
                             std::string_view suffix) {
    if (path.size() < prefix.size() + suffix.size() || path.substr(0, prefix.size()) != prefix ||
        path.substr(path.size() - suffix.size()) != suffix)
        return {};
    return path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
}

} // namespace

bool ParseStationFault(std::string_view name, StationFault& fault) {
    static const std::pair<const char*, StationFault> kNames[] = {
        {"none", StationFault::None},           {"drop", StationFault::DropMidBody},
        {"stall", StationFault::Stall},         {"500", StationFault::ServerError},
        {"badjson", StationFault::BadJson},     {"trickle", StationFault::Trickle},
        {"huge", StationFault::HugeBody},       {"noise", StationFault::NoiseSong},
        {"truncated", StationFault::Truncated}, {"down", StationFault::Down},
        {"markup", StationFault::Markup},       {"empty", StationFault::EmptyList},
        {"repeat", StationFault::RepeatList},   {"hugelist", StationFault::HugeList},
        {"hugecover", StationFault::HugeCover}, {"endless", StationFault::EndlessSong},
    };
    for (const auto& [text, value] : kNames) {
        if (name == text) {
            fault = value;
            return true;
        }
    }
    return false;
}

std::string StationRequest::Param(std::string_view key) const {
    for (const auto& [k, v] : params)
        if (k == key)
            return v;
    return {};
}

bool StationRequest::HasParam(std::string_view key) const {
    return std::any_of(params.begin(), params.end(), [&](const auto& p) { return p.first == key; });
}

DemoStation::DemoStation(DemoStationOptions options)
    : options_(std::move(options)), server_(std::make_unique<LoopbackServer>()) {
    auto on = [this](Handler handler) {
        return [this, handler](const httplib::Request& req, httplib::Response& res) {
            Route(req, res, handler);
        };
    };
    server_->Post("/j/app/login", on(&DemoStation::Login));
    server_->Get("/j/app/radio/channels", on(&DemoStation::ChannelList));
    server_->Get("/j/app/radio/people", on(&DemoStation::People));
    server_->Get("/s/", on(&DemoStation::FirstSiteSearch));
    server_->Post(R"(/so\.asp)", on(&DemoStation::SecondSiteSearch));
    server_->Get(R"(/d/[^/]+\.lrc)", on(&DemoStation::FirstSiteLyrics));
    server_->Get(R"(/lrc/[^/]+\.lrc)", on(&DemoStation::SecondSiteLyrics));
    server_->Get(R"(/music/[^/]+\.mp3)", on(&DemoStation::Music));
    server_->Get(R"(/cover/[^/]+\.jpg)", on(&DemoStation::Cover));
    server_->Get("/", on(&DemoStation::Index));
    server_->Get(".*", on(&DemoStation::NotFound));
    server_->Post(".*", on(&DemoStation::NotFound));
}

DemoStation::~DemoStation() {
    Stop();
}

std::string DemoStation::BaseUrl() const {
    return "http://" + options_.host + ":" + std::to_string(port_);
}

// ---- media -------------------------------------------------------------------------------

bool DemoStation::Prepare() {
    if (prepared_)
        return true;
    if (!options_.cacheDir.empty()) {
        std::ostringstream name;
        name << "media-v" << kMediaFormatVersion << "-";
        if (options_.songSeconds > 0)
            name << options_.songSeconds << "s";
        else
            name << "full";
        mediaFolder_ = (std::filesystem::path(options_.cacheDir) / name.str()).string();
        if (LoadCachedMedia(mediaFolder_)) {
            prepared_ = true;
            return true;
        }
    }
    if (!GenerateMedia())
        return false;
    if (!mediaFolder_.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::create_directories(mediaFolder_, ec);
        fs::remove(fs::path(mediaFolder_) / kMediaStamp, ec);
        for (const auto& [sid, m] : media_) {
            fs::path base = fs::path(mediaFolder_) / sid;
            if (!PublishFile(base.string() + ".mp3", m.mp3) ||
                !PublishFile(base.string() + ".lrc", m.lrc) ||
                !PublishFile(base.string() + ".jpg", m.jpg))
                return false;
        }
        // Written last: a set interrupted half-way is generated again next time.
        if (!PublishFile(fs::path(mediaFolder_) / kMediaStamp,
                         MediaStampText(options_.songSeconds)))
            return false;
    }
    prepared_ = true;
    return true;
}

bool DemoStation::LoadCachedMedia(const std::string& folder) {
    namespace fs = std::filesystem;
    std::string stamp;
    if (!ReadWholeFile(fs::path(folder) / kMediaStamp, stamp) ||
        stamp != MediaStampText(options_.songSeconds))
        return false;
    std::map<std::string, SongMedia, std::less<>> loaded;
    for (const DemoSong& song : DemoCatalog::Songs()) {
        SongMedia m;
        std::string base = (fs::path(folder) / song.sid).string();
        if (!ReadWholeFile(base + ".mp3", m.mp3) || !ReadWholeFile(base + ".lrc", m.lrc) ||
            !ReadWholeFile(base + ".jpg", m.jpg))
            return false;
        m.seconds = options_.songSeconds > 0 ? options_.songSeconds : song.seconds;
        loaded.emplace(song.sid, std::move(m));
    }
    media_ = std::move(loaded);
    return true;
}

bool DemoStation::GenerateMedia() {
    const auto& songs = DemoCatalog::Songs();
    std::vector<SongMedia> made(songs.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < songs.size(); i = next++) {
            const DemoSong& song = songs[i];
            SongMedia& m = made[i];
            m.seconds = options_.songSeconds > 0 ? options_.songSeconds : song.seconds;
            MediaGenerator::Melody melody = MediaGenerator::RenderMelody(m.seconds, song.seed);
            m.mp3 = MediaGenerator::EncodeMp3(melody.pcm);
            m.lrc = MediaGenerator::MakeLrc({song.title, song.artist, song.albumtitle, 0},
                                            melody.phrases, DemoCatalog::VerseLines(song),
                                            DemoCatalog::ChorusLine(song));
            m.jpg = MediaGenerator::MakeCover(song.coverWidth, song.coverHeight, song.seed);
        }
    };
    const unsigned helpers = std::min(3u, std::max(1u, std::thread::hardware_concurrency())) - 1;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < helpers; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    for (std::size_t i = 0; i < songs.size(); ++i) {
        if (made[i].mp3.empty() || made[i].jpg.empty())
            return false;
        media_.emplace(songs[i].sid, std::move(made[i]));
    }
    return true;
}

const SongMedia* DemoStation::Media(std::string_view sid) const {
    auto it = media_.find(sid);
    return it == media_.end() ? nullptr : &it->second;
}

std::string DemoStation::LyricsGbk(std::string_view sid) const {
    const SongMedia* m = Media(sid);
    return m ? CodePage::Utf8ToAnsi(m->lrc) : std::string();
}

bool DemoStation::LikedNow(std::string_view sid) const {
    std::lock_guard lock(stateMutex_);
    auto it = liked_.find(sid);
    if (it != liked_.end())
        return it->second;
    const DemoSong* song = DemoCatalog::FindSong(sid);
    return song && song->like != 0;
}

std::string DemoStation::NoiseMp3(std::string_view sid) const {
    const SongMedia* m = Media(sid);
    if (!m)
        return {};
    std::lock_guard lock(noiseMutex_);
    auto it = noise_.find(sid);
    if (it == noise_.end()) {
        const DemoSong* song = DemoCatalog::FindSong(sid);
        it = noise_.emplace(std::string(sid), MediaGenerator::MakeNoiseMp3(m->seconds, song->seed))
                 .first;
    }
    return it->second;
}

std::string_view DemoStation::BadJsonBody() {
    return kBadJson;
}

std::string DemoStation::SongUrl(const DemoSong& song, const char* kind) const {
    return BaseUrl() + (std::string_view(kind) == "mp3" ? "/music/" : "/cover/") + song.sid + "." +
           kind;
}

bool DemoStation::WriteClientFolder(const std::string& dir, const std::string& baseUrl) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const char* sub : {"Temp/Music", "Temp/Album", "Temp/Lyrics"}) {
        fs::create_directories(fs::path(dir) / sub, ec);
        if (ec)
            return false;
    }
    IniFile ini;
    ini.AddSection("Server");
    ini.SetString("Server", "service", baseUrl);
    ini.SetString("Server", "lyrics1", baseUrl);
    ini.SetString("Server", "lyrics2", baseUrl);
    ini.AddSection("Account");
    ini.SetString("Account", "remstate", "on");
    ini.SetString("Account", "autologin", "on");
    ini.SetString("Account", "email", HexEncode(DemoCatalog::kEmail));
    ini.SetString("Account", "pass", HexEncode(DemoCatalog::kPassword));
    ini.AddSection("AppSet");
    ini.SetInt("AppSet", "volume", 50);
    // Whoever waits for config.ini to appear must never read it half-written: write it aside,
    // then rename it into place.
    const fs::path file = fs::path(dir) / "config.ini";
    const fs::path aside = fs::path(dir) / "config.ini.new";
    if (!WriteWholeFile(aside, ini.Serialize()))
        return false;
    // The password is only hex-encoded.
    fs::permissions(aside, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    fs::rename(aside, file, ec);
    if (ec) {
        fs::remove(aside, ec);
        return false;
    }
    return true;
}

// ---- serving ---------------------------------------------------------------------------

bool DemoStation::Start(int port) {
    if (!Prepare())
        return false;
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = false;
    }
    if (!server_->Start(port, options_.host))
        return false;
    port_ = server_->Port();
    return true;
}

void DemoStation::Stop() {
    down_ = false;
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    {
        std::lock_guard lock(faultMutex_);
        ++faultSerial_;
    }
    faultChanged_.notify_all();
    server_->Stop();
}

bool DemoStation::Stopping() {
    std::lock_guard lock(stopMutex_);
    return stopping_;
}

bool DemoStation::FaultStillSet(std::uint64_t serial, std::chrono::milliseconds duration) {
    std::unique_lock lock(faultMutex_);
    return !faultChanged_.wait_for(lock, duration, [&] { return faultSerial_ != serial; });
}

void DemoStation::SetFault(StationFault fault, std::string pathPrefix, int times) {
    {
        std::lock_guard lock(faultMutex_);
        fault_ = fault;
        faultPrefix_ = std::move(pathPrefix);
        faultTimes_ = times;
        ++faultSerial_;
    }
    faultChanged_.notify_all();
    if (fault == StationFault::Down && server_->Listening()) {
        Stop();
        down_ = true;
    } else if (fault != StationFault::Down && down_) {
        down_ = false;
        Start(port_);
    }
}

StationFault DemoStation::TakeFault(const std::string& path, std::uint64_t& serial) {
    std::lock_guard lock(faultMutex_);
    serial = faultSerial_;
    if (fault_ == StationFault::None || fault_ == StationFault::Down || faultTimes_ == 0)
        return StationFault::None;
    // Several prefixes may be given, separated by ",".
    bool hit = false;
    for (std::string_view rest = faultPrefix_; !hit;) {
        const std::size_t comma = rest.find(',');
        const std::string_view prefix = rest.substr(0, comma);
        hit = path.compare(0, prefix.size(), prefix) == 0;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    if (!hit)
        return StationFault::None;
    if (faultTimes_ > 0)
        --faultTimes_;
    return fault_;
}

void DemoStation::Log(const StationRequest& request) {
    if (options_.logLine) {
        std::string line = request.method + " " + request.target + " HTTP/1.1";
        if (!request.body.empty())
            line += " | " + Printable(request.body);
        options_.logLine(line);
    }
    {
        std::lock_guard lock(logMutex_);
        log_.push_back(request);
    }
    logChanged_.notify_all();
}

std::vector<StationRequest> DemoStation::Requests() const {
    std::lock_guard lock(logMutex_);
    return log_;
}

std::vector<StationRequest> DemoStation::RequestsTo(std::string_view path) const {
    std::lock_guard lock(logMutex_);
    std::vector<StationRequest> out;
    for (const StationRequest& r : log_)
        if (r.path == path)
            out.push_back(r);
    return out;
}

bool DemoStation::WaitForRequests(std::string_view path, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
    std::unique_lock lock(logMutex_);
    return logChanged_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(log_.begin(), log_.end(), [&](const auto& r) {
                   return r.path == path;
               })) >= count;
    });
}

void DemoStation::ClearLog() {
    std::lock_guard lock(logMutex_);
    log_.clear();
}

void DemoStation::Route(const httplib::Request& req, httplib::Response& res, Handler handler) {
    StationRequest r;
    r.method = req.method;
    r.target = req.target;
    r.path = req.path;
    r.body = req.body;
    std::size_t q = req.target.find('?');
    if (q != std::string::npos)
        ParseForm(std::string_view(req.target).substr(q + 1), r.params);
    if (!req.body.empty() &&
        req.get_header_value("Content-Type").find("multipart") == std::string::npos)
        ParseForm(req.body, r.params);
    std::uint64_t serial = 0;
    r.fault = TakeFault(req.path, serial);
    Log(r);
    Send(req, res, (this->*handler)(r), r.fault, serial);
}

void DemoStation::Send(const httplib::Request& req, httplib::Response& res, Reply reply,
                       StationFault fault, std::uint64_t serial) {
    switch (fault) {
    case StationFault::None:
    case StationFault::Down:   // never taken: a station that is down gets no requests
    case StationFault::Markup: // these change what the handlers answer
    case StationFault::EmptyList:
    case StationFault::RepeatList:
    case StationFault::HugeList:
        break;
    case StationFault::HugeCover:
    case StationFault::EndlessSong: {
        // Only covers grow and only songs go on for ever.
        const char* kind = fault == StationFault::HugeCover ? "image/jpeg" : "audio/mpeg";
        if (reply.status != 200 || reply.body.empty() || reply.contentType != kind)
            break;
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.status = 200;
        if (fault == StationFault::EndlessSong) {
            SendEndless(
                res, "audio/mpeg", 0,
                [body](std::size_t offset) {
                    return std::string_view(*body).substr(offset % body->size());
                },
                [this] { return Stopping(); });
        } else {
            SendEndless(
                res, "image/jpeg", options_.hugeCoverBytes,
                [body](std::size_t offset) {
                    static const std::string zeros(kHugeChunkBytes, '\0');
                    return offset < body->size() ? std::string_view(*body).substr(offset)
                                                 : std::string_view(zeros);
                },
                [this] { return Stopping(); });
        }
        return;
    }
    case StationFault::Stall:
        FaultStillSet(serial, std::chrono::milliseconds(options_.stallMs));
        break;
    case StationFault::ServerError:
        reply = {500, "text/html; charset=utf-8",
                 ErrorPage(500, "Internal Server Error", "The station was told to fail.")};
        break;
    case StationFault::BadJson:
        reply = {200, "application/json", kBadJson};
        break;
    case StationFault::Truncated:
        reply.body.resize(reply.body.size() / 2);
        break;
    case StationFault::NoiseSong:
        if (std::string noise = NoiseMp3(NameBetween(req.path, "/music/", ".mp3"));
            reply.status == 200 && !noise.empty())
            reply.body = std::move(noise);
        break;
    case StationFault::HugeBody: {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.status = reply.status;
        res.set_content_provider(
            body->size() + options_.hugeBytes, reply.contentType,
            [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset < body->size())
                    return sink.write(body->data() + offset, body->size() - offset);
                static const std::string blanks(kHugeChunkBytes, ' ');
                return sink.write(blanks.data(), std::min(length, blanks.size()));
            });
        return;
    }
    case StationFault::DropMidBody: {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.status = reply.status;
        res.set_content_provider(
            body->size(), reply.contentType,
            [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                const std::size_t half = body->size() / 2;
                if (offset < half)
                    sink.write(body->data() + offset, half - offset);
                return false; // httplib closes the connection with the body unfinished
            });
        return;
    }
    case StationFault::Trickle: {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        const std::size_t step = std::max<std::size_t>(1, options_.trickleBytes);
        const auto pause = std::chrono::milliseconds(options_.trickleIntervalMs);
        res.status = reply.status;
        res.set_content_provider(
            body->size(), reply.contentType,
            [this, body, step, pause, serial](std::size_t offset, std::size_t length,
                                              httplib::DataSink& sink) {
                // Once the fault is off, the rest goes out at once.
                const std::size_t n = FaultStillSet(serial, {}) ? std::min(step, length) : length;
                if (!sink.write(body->data() + offset, n))
                    return false;
                return offset + n >= body->size() || FaultStillSet(serial, pause) || !Stopping();
            });
        return;
    }
    }
    res.status = reply.status;
    res.set_content(std::move(reply.body), reply.contentType.c_str());
}

// ---- the radio service -----------------------------------------------------------------

DemoStation::Reply DemoStation::Login(const StationRequest& r) {
    Json::Value v(Json::objectValue);
    if (r.Param("app_name") != kAppName || r.Param("version") != kAppVersion) {
        v["r"] = 1;
        v["err"] = "invalid_app";
    } else if (Normalize(r.Param("email")) != DemoCatalog::kEmail) {
        v["r"] = 1;
        v["err"] = "invalid_user_name";
    } else if (r.Param("password") != DemoCatalog::kPassword) {
        v["r"] = 1;
        v["err"] = "wrong_password";
    } else {
        v["user_id"] = DemoCatalog::kUserId;
        v["err"] = "ok";
        v["token"] = DemoCatalog::kToken;
        v["expire"] = DemoCatalog::kExpire;
        v["r"] = 0;
        v["user_name"] = DemoCatalog::kUserName;
        v["email"] = DemoCatalog::kEmail;
    }
    return {200, "application/json; charset=utf-8", ToJson(v)};
}

DemoStation::Reply DemoStation::ChannelList(const StationRequest& r) {
    Json::Value list(Json::arrayValue);
    for (const DemoChannel& c : DemoCatalog::Channels()) {
        Json::Value item;
        item["name"] = r.fault == StationFault::Markup ? Hostile(c.name) : c.name;
        if (!options_.titles.empty())
            item["name"] = TitleAt(static_cast<std::size_t>(list.size()));
        item["seq_id"] = c.seq_id;
        item["abbr_en"] = c.nameEn;
        item["channel_id"] = c.channel_id;
        item["name_en"] = c.nameEn;
        list.append(item);
    }
    Json::Value v;
    v["channels"] = list;
    return {200, "application/json; charset=utf-8", ToJson(v)};
}

DemoStation::Reply DemoStation::People(const StationRequest& r) {
    Json::Value v(Json::objectValue);
    auto fail = [&](const char* err) {
        v["r"] = 1;
        v["err"] = err;
        return Reply{200, "application/json; charset=utf-8", ToJson(v)};
    };
    if (r.Param("app_name") != kAppName || r.Param("version") != kAppVersion)
        return fail("invalid_app");
    if (options_.checkToken &&
        (r.Param("user_id") != DemoCatalog::kUserId || r.Param("token") != DemoCatalog::kToken ||
         r.Param("expire") != DemoCatalog::kExpire))
        return fail("invalid_token");
    const std::string type = r.Param("type");
    if (type == "e") {
        // The report that follows a like: remember it, so later playlists show the song liked.
        if (r.Param("status") == "r" && DemoCatalog::FindSong(r.Param("sid"))) {
            std::lock_guard lock(stateMutex_);
            liked_[r.Param("sid")] = true;
        }
        v["r"] = 0;
        return {200, "application/json; charset=utf-8", ToJson(v)};
    }
    if (type != "n")
        return fail("invalid_type");

    const int channelId = std::atoi(r.Param("channel").c_str());
    const DemoChannel* channel = DemoCatalog::FindChannel(channelId);
    const auto& songs = DemoCatalog::Songs();
    std::vector<int> pool;
    if (channel) {
        pool = channel->songs;
    } else {
        for (int i = 0; i < static_cast<int>(songs.size()); ++i)
            pool.push_back(i);
    }
    std::vector<int> picked;
    {
        std::lock_guard lock(stateMutex_);
        std::size_t& next = rotation_[channelId];
        std::size_t count = static_cast<std::size_t>(std::max(1, options_.playlistSize));
        if (!options_.repeatPool)
            count = std::min(pool.size(), count);
        if (r.fault == StationFault::HugeList)
            count = static_cast<std::size_t>(std::max(0, options_.hugeListSongs));
        else if (r.fault == StationFault::EmptyList)
            count = 0;
        const std::size_t first = r.fault == StationFault::RepeatList ? 0 : next;
        for (std::size_t k = 0; k < count; ++k)
            picked.push_back(pool[(first + k) % pool.size()]);
        if (r.fault != StationFault::RepeatList)
            next = (next + count) % pool.size();
    }
    if (r.fault == StationFault::HugeList) {
        // Only what the client reads, so that the list still fits its reply cap; each song's
        // text is made once.
        std::map<int, std::string> texts;
        std::string body = R"({"r":0,"song":[)";
        for (std::size_t k = 0; k < picked.size(); ++k) {
            auto [text, made] = texts.try_emplace(picked[k]);
            if (made) {
                const DemoSong& s = songs[static_cast<std::size_t>(picked[k])];
                Json::Value item;
                item["title"] = s.title;
                item["artist"] = s.artist;
                item["sid"] = s.sid;
                item["url"] = SongUrl(s, "mp3");
                item["picture"] = SongUrl(s, "jpg");
                item["rating_avg"] = s.rating_avg;
                text->second = ToJson(item);
            }
            body += k ? "," : "";
            body += text->second;
        }
        return {200, "application/json; charset=utf-8", body + "]}"};
    }
    const bool hostile = r.fault == StationFault::Markup;
    Json::Value list(Json::arrayValue);
    for (int index : picked) {
        const DemoSong& s = songs[static_cast<std::size_t>(index)];
        const SongMedia* m = Media(s.sid);
        Json::Value item;
        item["album"] = "/subject/" + s.aid + "/";
        item["picture"] = SongUrl(s, "jpg");
        item["ssid"] = "a1b2";
        item["artist"] = s.artist;
        item["url"] = SongUrl(s, "mp3");
        item["company"] = s.company;
        item["title"] =
            options_.titles.empty() ? s.title : TitleAt(static_cast<std::size_t>(index));
        item["rating_avg"] = s.rating_avg;
        item["length"] = static_cast<int>(m ? m->seconds : s.seconds);
        item["subtype"] = "";
        item["public_time"] = s.public_time;
        item["sid"] = s.sid;
        item["aid"] = s.aid;
        item["albumtitle"] = s.albumtitle;
        item["like"] = LikedNow(s.sid) ? 1 : 0;
        if (hostile)
            for (const char* key : {"title", "artist", "albumtitle"})
                item[key] = Hostile(item[key].asString());
        list.append(item);
    }
    if (hostile && !list.empty()) {
        // The first song again, under a sid that would be lines of config.ini.
        Json::Value again = list[0];
        again["sid"] = again["sid"].asString() + kInjection;
        list.append(again);
    }
    v["r"] = 0;
    v["is_show_quick_start"] = 0;
    v["song"] = list;
    return {200, "application/json; charset=utf-8", ToJson(v)};
}

// ---- the lyrics sites --------------------------------------------------------------------
// Each result list puts items that must not match first: the same title by other artists, the
// title in other letter case, and one whose link is a page, not an .lrc file.

DemoStation::Reply DemoStation::FirstSiteSearch(const StationRequest& r) {
    const std::string key = SearchKeyToUtf8(r.Param("key"));
    const std::string normKey = Normalize(key);
    std::string items;
    int count = 0;
    auto item = [&](const std::string& title, const std::string& artist, const std::string& album,
                    const std::string& link) {
        items += "<li><div class=\"wmc\"><a href=\"/song/" + std::to_string(count) +
                 ".html\" target=\"_blank\"><font color=\"#c60a00\">" + title +
                 "</font></a></div><div class=\"wgs\"><a href=\"/singer/" + std::to_string(count) +
                 ".html\"><font>" + artist + "</font></a></div><div class=\"wzj\">" + album +
                 "</div><div class=\"w50\"><a href=\"" + link + "\">下载LRC</a></div></li>\n";
        ++count;
    };
    for (const DemoSong& s : DemoCatalog::Songs()) {
        const std::string title = DemoCatalog::SearchTitle(s.title);
        const std::string normTitle = Normalize(title);
        if (normTitle.empty() || normKey.size() < normTitle.size() ||
            normKey.compare(normKey.size() - normTitle.size(), normTitle.size(), normTitle) != 0)
            continue;
        const std::string artist = DemoCatalog::SearchArtist(s.artist);
        item(title, "群星", s.albumtitle, "/d/x" + s.sid + ".lrc");
        if (UpperAscii(title) != title)
            item(UpperAscii(title), artist, s.albumtitle, "d/x" + s.sid + ".lrc");
        item(title, artist, s.albumtitle, "/song/" + s.sid + ".html");
        if (s.sites & DemoCatalog::kFirstSite)
            item(title, artist, s.albumtitle, (s.linkWithSlash ? "/d/" : "d/") + s.sid + ".lrc");
    }
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>LRC Finder - " +
        HtmlEscape(key) +
        "</title></head>\n<body><div class=\"top\"><ul class=\"nav\"><li class=\"on\"><a "
        "href=\"/\">首页</a></li><li class=\"nav\"><a href=\"/s/\">歌词</a></li></ul></div>\n"
        "<div class=\"list\"><p class=\"tip\">找到 " +
        std::to_string(count) + " 首相关歌词</p><ul>\n" + items +
        "</ul></div>\n<div class=\"foot\">LRC Finder (lantor-station)</div></body></html>\n";
    return {200, "text/html; charset=utf-8", page};
}

DemoStation::Reply DemoStation::SecondSiteSearch(const StationRequest& r) {
    const std::string key = SearchKeyToUtf8(r.Param("key"));
    const std::string normKey = Normalize(key);
    std::string items;
    int count = 0;
    // Upper-case closing anchors, as that site writes them; paths stay lower case because the
    // client lower-cases every "/A" in an item.
    auto item = [&](const std::string& title, const std::string& artist, const std::string& link) {
        items += "<li><div class=\"slmc\"><a href=\"/song/" + std::to_string(count) +
                 ".htm\" target=\"_blank\">" + title +
                 "</A></div><div class=\"acll\"><a href=\"/singer/" + std::to_string(count) +
                 ".htm\">" + artist + "</A></div><div class=\"slczt\"><a href=\"" + link +
                 "\">LRC歌词</A></div></li>\r\n";
        ++count;
    };
    for (const DemoSong& s : DemoCatalog::Songs()) {
        const std::string title = DemoCatalog::SearchTitle(s.title);
        if (normKey.empty() || Normalize(title) != normKey)
            continue;
        const std::string artist = DemoCatalog::SearchArtist(s.artist);
        item(title, "群星", "/lrc/x" + s.sid + ".lrc");
        if (UpperAscii(title) != title)
            item(UpperAscii(title), artist, "lrc/x" + s.sid + ".lrc");
        item(title, artist, "/song/" + s.sid + ".htm");
        if (s.sites & DemoCatalog::kSecondSite)
            item(title, artist, (s.linkWithSlash ? "/lrc/" : "lrc/") + s.sid + ".lrc");
    }
    std::string page =
        "<HTML><HEAD><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
        "<TITLE>歌词搜索 " +
        HtmlEscape(key) +
        "</TITLE></HEAD>\r\n<BODY><div class=\"head\"><ul><li class=\"home\"><A "
        "href=\"/\">首页</A></li></ul></div>\r\n<div class=\"sl\"><p>共 " +
        std::to_string(count) + " 条结果</p><ul>\r\n" + items + "</ul></div></BODY></HTML>\r\n";
    return {200, "text/html; charset=gbk", Gbk(page)};
}

DemoStation::Reply DemoStation::LyricsFile(const StationRequest& r, std::string_view prefix,
                                           unsigned site) {
    std::string_view name = NameBetween(r.path, prefix, ".lrc");
    const bool decoy = !name.empty() && name.front() == 'x';
    const DemoSong* song = DemoCatalog::FindSong(decoy ? name.substr(1) : name);
    if (!song || (!decoy && !(song->sites & site)))
        return NotFound(r);
    std::string text;
    if (decoy) {
        text = "[ti:" + song->title + "]\n[ar:群星]\n[by:lantor-station]\n" +
               MediaGenerator::TimeTag(0.5) + "这不是这首歌的歌词\n" + MediaGenerator::TimeTag(2) +
               "Wrong lyrics for " + song->title + "\n";
    } else {
        text = Media(song->sid)->lrc;
    }
    if (r.fault == StationFault::Markup)
        text = HostileLrc(text);
    return {200, "text/plain; charset=gbk", Gbk(text)};
}

DemoStation::Reply DemoStation::FirstSiteLyrics(const StationRequest& r) {
    return LyricsFile(r, "/d/", DemoCatalog::kFirstSite);
}

DemoStation::Reply DemoStation::SecondSiteLyrics(const StationRequest& r) {
    return LyricsFile(r, "/lrc/", DemoCatalog::kSecondSite);
}

// ---- media and pages ---------------------------------------------------------------------

DemoStation::Reply DemoStation::Music(const StationRequest& r) {
    const SongMedia* m = Media(NameBetween(r.path, "/music/", ".mp3"));
    return m ? Reply{200, "audio/mpeg", m->mp3} : NotFound(r);
}

DemoStation::Reply DemoStation::Cover(const StationRequest& r) {
    const SongMedia* m = Media(NameBetween(r.path, "/cover/", ".jpg"));
    return m ? Reply{200, "image/jpeg", m->jpg} : NotFound(r);
}

DemoStation::Reply DemoStation::Index(const StationRequest&) {
    std::string page = "<html><head><meta charset=\"utf-8\"><title>lantor-station</title></head>"
                       "<body><h1>LantorFM demo station</h1><p>Account: " +
                       std::string(DemoCatalog::kEmail) + " / " + DemoCatalog::kPassword +
                       "</p><h2>Channels</h2><ul>";
    for (const DemoChannel& c : DemoCatalog::Channels())
        page +=
            "<li>" + HtmlEscape(c.name) + " (channel " + std::to_string(c.channel_id) + ")</li>";
    page += "</ul><h2>Songs</h2><ul>";
    for (const DemoSong& s : DemoCatalog::Songs())
        page += "<li><a href=\"/music/" + s.sid + ".mp3\">" + HtmlEscape(s.title) + "</a> - " +
                HtmlEscape(s.artist) + " <a href=\"/cover/" + s.sid + ".jpg\">cover</a></li>";
    page += "</ul></body></html>\n";
    return {200, "text/html; charset=utf-8", page};
}

DemoStation::Reply DemoStation::NotFound(const StationRequest& r) {
    return {404, "text/html; charset=utf-8", ErrorPage(404, "Not Found", r.path)};
}
