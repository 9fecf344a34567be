// The lyrics search end to end against the demo station's two lyrics sites, whose result lists
// put decoys (other artists, other letter case, links to pages) before the real item.
#include "lyrics/LrcSearcher.h"
#include "platform/CodePage.h"
#include "service/WebClient.h"
#include "tests/support/TempDir.h"
#include "tools/DemoStation.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string AsStored(const std::string& lrc) {
    std::string file;
    for (char c : lrc.substr(0, lrc.find('\0'))) {
        if (c == '\n')
            file += '\r';
        file += c;
    }
    return file + '\0';
}

TEST(LrcSearcherStation, FindsEveryCatalogSongThatHasLyrics) {
    TempDir dir(true);
    dir.MakeCacheFolders();
    WebClient::SetDefaultTimeoutsForTesting(2'000, 5);
    DemoStationOptions options;
    options.songSeconds = 1;
    DemoStation station(options);
    ASSERT_TRUE(station.Start(0));
    LrcSearcher searcher(station.BaseUrl(), station.BaseUrl());

    int found = 0;
    for (const DemoSong& song : DemoCatalog::Songs()) {
        // Inside the program every text is GBK.
        bool ok = searcher.FindLyrics(CodePage::Utf8ToAnsi(song.title),
                                      CodePage::Utf8ToAnsi(song.artist), song.sid);
        EXPECT_EQ(ok, song.sites != 0) << song.sid << " " << song.title;
        if (ok) {
            ++found;
            EXPECT_EQ(dir.ReadFile("Temp/Lyrics/" + song.sid + ".lrc"),
                      AsStored(station.LyricsGbk(song.sid)))
                << song.sid << " " << song.title;
        }
    }
    EXPECT_GT(found, 0);
    WebClient::ResetDefaultsForTesting();
}

} // namespace
