#include "tools/DemoCatalog.h"

#include <array>

namespace {

constexpr unsigned kBoth = DemoCatalog::kFirstSite | DemoCatalog::kSecondSite;
constexpr unsigned kFirst = DemoCatalog::kFirstSite;
constexpr unsigned kSecond = DemoCatalog::kSecondSite;

std::vector<DemoSong> MakeSongs() {
    struct Row {
        const char *title, *artist, *album, *year, *company;
        double rating;
        int like, seconds, w, h;
        unsigned sites;
    };
    // Covers below 120 pixels on a side and odd aspects are deliberate: the cover control scales.
    // The last two rate at or below 1.0, so the client never queues them.
    static const Row kRows[] = {
        {"月光小路", "林夏", "夜航", "2009", "星河唱片", 4.6, 1, 32, 300, 300, kBoth},
        {"Blue River (Live)", "The Lanterns", "Live at Harbour Hall", "2012", "Harbour Records",
         4.2, 0, 26, 100, 100, kSecond},
        {"晚风", "陈一 / Mia Stone", "周末", "2015", "青柠音乐", 3.9, 0, 24, 240, 180, kFirst},
        {"Paper Planes", "Mia Stone", "Skyline", "2018", "Northwind Music", 4.0, 1, 21, 90, 120, 0},
        {"城市之光", "苏晴", "城市之光", "2011", "星河唱片", 4.4, 0, 38, 500, 500, kBoth},
        {"Northern Lights", "Erik Vale", "Polar Days", "2016", "Fjord Sound", 3.7, 0, 29, 64, 64,
         kFirst},
        {"旧时光", "王小川", "旧时光", "2007", "老街唱片", 4.8, 1, 35, 320, 200, kSecond},
        {"Morning Coffee", "June Avenue", "Small Rooms", "2019", "Indie Lane", 3.5, 0, 22, 150, 220,
         kBoth},
        {"雨后", "何雨;Lily Wen", "雨季", "2013", "青柠音乐", 4.1, 0, 27, 200, 200, kSecond},
        {"Slow Train", "Hollow Pines", "Back Roads", "2010", "Cedar Records", 3.8, 1, 40, 110, 80,
         kFirst},
        {"海边的信", "周南", "海边", "2017", "蓝湾音乐", 4.3, 0, 30, 400, 300, 0},
        {"Golden Hour", "Sunny Lake/Koi", "Golden Hour", "2021", "Sunbeam", 3.6, 0, 25, 128, 128,
         kBoth},
        {"Static Noise", "Test Pattern", "Signals", "2005", "Null Records", 1.0, 0, 20, 160, 160,
         kBoth},
        {"雾", "未知乐队", "灰色", "2003", "地下唱片", 0.8, 0, 23, 180, 240, kFirst},
    };
    std::vector<DemoSong> songs;
    int i = 0;
    for (const Row& r : kRows) {
        DemoSong s;
        s.sid = std::to_string(2800101 + i);
        s.aid = std::to_string(51001 + i);
        s.title = r.title;
        s.artist = r.artist;
        s.albumtitle = r.album;
        s.public_time = r.year;
        s.company = r.company;
        s.rating_avg = r.rating;
        s.like = r.like;
        s.seconds = r.seconds;
        s.coverWidth = r.w;
        s.coverHeight = r.h;
        s.sites = r.sites;
        s.linkWithSlash = i % 2 == 0;
        s.seed = 0x5EED0000u + static_cast<std::uint32_t>(i) * 7919u;
        songs.push_back(std::move(s));
        ++i;
    }
    return songs;
}

std::vector<DemoChannel> MakeChannels() {
    // channel_id values are the service's own numbers; they never equal the list position.
    return {
        {"华语频道", "Chinese", 0, 1, {0, 12, 2, 4, 13, 6, 8, 10}},
        {"欧美 Western", "Western", 1, 2, {1, 3, 12, 5, 7, 9, 11}},
        {"粤语", "Cantonese", 2, 6, {4, 0, 13, 6, 10}},
        {"Rock", "Rock", 3, 7, {9, 12, 1, 5, 11}},
        {"民谣 Folk", "Folk", 4, 8, {2, 8, 3, 9, 10}},
        {"Jazz 爵士", "Jazz", 5, 13, {7, 1, 13, 11}},
        {"Electronic", "Electronic", 6, 14, {11, 3, 5, 12}},
        {"轻音乐", "Easy Listening", 7, 22, {0, 7, 8, 10, 13}},
        {"热歌 Hits", "Hits", 8, 27, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
    };
}

const std::array<const char*, 16> kChineseLines = {
    "风吹过安静的街道", "路灯把影子拉长",   "我在窗前等你回来", "雨停了天空更蓝",
    "远方的火车在唱歌", "把心事写进信里",   "月光洒在小河上",   "城市睡了我还醒着",
    "时间走得那么慢",   "我们曾经一起走过", "梦里有一片海",     "星星陪我到天亮",
    "春天的花开满山坡", "你的笑容像阳光",   "旧照片里的夏天",   "明天还会再见",
};

const std::array<const char*, 16> kEnglishLines = {
    "Walking down the empty road",   "Lights are shining on the bay",
    "Every song will find its way",  "Hold the morning in your hands",
    "Rivers running to the sea",     "Paper boats and summer rain",
    "Counting stars above the town", "Quiet voices call my name",
    "Dancing slow beneath the moon", "Letters that I never sent",
    "Turn the radio up loud",        "Golden fields and open skies",
    "Waiting for the train to come", "Hear the city breathing low",
    "All the colours of the night",  "Sing it softly, sing it true",
};

const std::array<const char*, 6> kChorusLines = {
    "唱吧 sing with me tonight",   "啦啦啦 la la la 一起唱", "你是我的光 you are my light",
    "Oh oh 不要停 don't stop now", "跟着风 follow the wind", "我们的歌 our song goes on",
};

} // namespace

const std::vector<DemoSong>& DemoCatalog::Songs() {
    static const std::vector<DemoSong> songs = MakeSongs();
    return songs;
}

const std::vector<DemoChannel>& DemoCatalog::Channels() {
    static const std::vector<DemoChannel> channels = MakeChannels();
    return channels;
}

const DemoSong* DemoCatalog::FindSong(std::string_view sid) {
    for (const DemoSong& s : Songs())
        if (s.sid == sid)
            return &s;
    return nullptr;
}

const DemoChannel* DemoCatalog::FindChannel(int channelId) {
    for (const DemoChannel& c : Channels())
        if (c.channel_id == channelId)
            return &c;
    return nullptr;
}

std::string DemoCatalog::SearchTitle(std::string_view title) {
    return std::string(title.substr(0, title.find('(')));
}

std::string DemoCatalog::SearchArtist(std::string_view artist) {
    for (std::string_view sep : {" / ", "/", ";"})
        artist = artist.substr(0, artist.find(sep));
    return std::string(artist);
}

std::vector<std::string> DemoCatalog::VerseLines(const DemoSong& song) {
    std::vector<std::string> lines;
    const std::size_t start = song.seed % kChineseLines.size();
    for (std::size_t k = 0; k < 8; ++k) {
        std::size_t i = (start + k * 5) % kChineseLines.size();
        lines.emplace_back(k % 2 == 0 ? kChineseLines[i] : kEnglishLines[i]);
    }
    return lines;
}

std::string DemoCatalog::ChorusLine(const DemoSong& song) {
    return kChorusLines[(song.seed / 7) % kChorusLines.size()];
}
