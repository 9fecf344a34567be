#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the demo station knows: its account, songs, channels and which lyrics site lists which
// song. Texts are UTF-8, as the service sends them.
struct DemoSong {
    std::string sid, aid;
    std::string title, artist, albumtitle, public_time, company;
    double rating_avg = 0;
    int like = 0;
    int seconds = 30; // length when the station is not told otherwise
    int coverWidth = 0, coverHeight = 0;
    unsigned sites = 0;        // DemoCatalog::kFirstSite | kSecondSite
    bool linkWithSlash = true; // lyrics links written "/d/..." or "d/..."
    std::uint32_t seed = 0;    // melody, cover and lyric choice
};

struct DemoChannel {
    std::string name;   // UTF-8, Chinese or English or both
    std::string nameEn; // extra member the service also sends
    int seq_id = 0;
    int channel_id = 0;
    std::vector<int> songs; // indexes into Songs(), in playlist order
};

class DemoCatalog {
public:
    static constexpr unsigned kFirstSite = 1;  // GET /s/ (UTF-8 pages)
    static constexpr unsigned kSecondSite = 2; // POST /so.asp (GBK pages)

    static constexpr const char* kEmail = "demo@lantor.fm";
    static constexpr const char* kPassword = "lantor+demo";
    static constexpr const char* kUserId = "1000001";
    static constexpr const char* kUserName = "Demo Listener";
    static constexpr const char* kToken = "9f86d081884c";
    static constexpr const char* kExpire = "1893456000";

    static const std::vector<DemoSong>& Songs();
    static const std::vector<DemoChannel>& Channels();
    static const DemoSong* FindSong(std::string_view sid);
    static const DemoChannel* FindChannel(int channelId); // null for an unknown number

    // How the client derives its lyrics search terms: the title up to its first "(" (a blank
    // before it kept), the artist cut at " / ", then "/", then ";".
    static std::string SearchTitle(std::string_view title);
    static std::string SearchArtist(std::string_view artist);

    // Lyric lines of a song: alternating Chinese and English verses, and a mixed chorus.
    static std::vector<std::string> VerseLines(const DemoSong& song);
    static std::string ChorusLine(const DemoSong& song);
};
