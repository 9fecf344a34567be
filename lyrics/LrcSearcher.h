#pragma once
#include "service/WorkFolder.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finds LRC lyrics for a song on the two lyrics sites and stores them in the lyrics cache
// ("Temp/Lyrics/<sid>.lrc"). The second site (a form POST) is searched first, then the first
// (a GET). Each site's result page is cut into "<li>" items; an item matches when its title and
// artist elements hold exactly the search title and artist, and its ".lrc" link is downloaded.
// The file holds the body as received up to its first NUL, LF written as CR LF, and one NUL.
// Every request gives up after kRequestTimeoutMs in all, so a slow site never holds back the
// lyrics of the songs after it. ListLyrics lists every item of both sites for the search form.
//
// Stateless once built: several lyrics workers may use one instance at the same time.
class LrcSearcher {
public:
    static constexpr int kFirstSite = 0;
    static constexpr int kSecondSite = 1;
    // Lyrics pages and files are small; a larger body is refused.
    static constexpr std::size_t kMaxBodyBytes = 4u << 20;
    // Connect and transfer of one search page or one .lrc file.
    static constexpr long kRequestTimeoutMs = 6'000;

    // A result item that links a ".lrc" file: song and singer as the page holds them (GBK, raw
    // content), the link as DownloadLrc takes it, and the site it came from.
    struct Item {
        std::string song;
        std::string singer;
        std::string link;
        int site = kFirstSite;
    };
    struct Listing {
        std::vector<Item> items;
        bool failed[2] = {false, false}; // by site: no page came
    };

    // Site bases given as scheme://host[:port]; a trailing slash is dropped. Raising cancel
    // makes running transfers fail within about a second.
    LrcSearcher(std::string firstBase, std::string secondBase,
                const std::atomic<bool>* cancel = nullptr, WorkFolder work = WorkFolder());

    const std::string& FirstBase() const { return firstBase_; }
    const std::string& SecondBase() const { return secondBase_; }
    bool Cancelled() const;

    // True when the cache file for sid exists (no request is made) or was just written.
    bool FindLyrics(std::string_view title, std::string_view artist, std::string_view sid) const;
    bool SearchSecondSite(std::string_view searchTitle, std::string_view searchArtist,
                          std::string_view sid) const;
    bool SearchFirstSite(std::string_view searchTitle, std::string_view searchArtist,
                         std::string_view sid) const;
    // True when a lyrics file was downloaded from the page's first matching item.
    bool ScrapeFirstSite(std::string_view html, std::string_view searchTitle,
                         std::string_view searchArtist, std::string_view sid) const;
    bool ScrapeSecondSite(std::string_view html, std::string_view searchTitle,
                          std::string_view searchArtist, std::string_view sid) const;
    // Fetches link (relative to the site's base) into the cache file of sid. An answer with an
    // HTTP status of 400 or more, or a web page instead of LRC text, stores nothing (false).
    bool DownloadLrc(std::string_view link, std::string_view sid, int site) const;

    // Searches both sites as FindLyrics does (the terms derived from title and artist the same
    // way) and lists every item of both pages: those whose song is the search title first, then
    // the rest, each group second site before first and in page order. A site that gives no page
    // is marked failed and the other still listed.
    Listing ListLyrics(std::string_view title, std::string_view artist) const;

    // The title up to its first "(" (blanks before it stay).
    static std::string SearchTitle(std::string_view title);
    // The artist cut at its first " / ", then "/", then ";".
    static std::string SearchArtist(std::string_view artist);

private:
    enum class ItemResult { kNoMatch, kDownloaded, kDownloadFailed };

    // failOnHttpError: an error page counts as no page (the listing reports the site as failed;
    // the automatic search reads whatever page comes).
    std::optional<std::string> SecondSitePage(std::string_view searchTitle,
                                              bool failOnHttpError = false) const;
    std::optional<std::string> FirstSitePage(std::string_view searchTitle,
                                             std::string_view searchArtist,
                                             bool failOnHttpError = false) const;
    // The items of one site's page (the first site's already in GBK), in page order.
    static std::vector<Item> ListItems(std::string_view page, int site);
    bool ScrapeItems(std::string_view page, int site, std::string_view searchTitle,
                     std::string_view searchArtist, std::string_view sid) const;
    ItemResult WalkItem(std::string_view item, int site, std::string_view searchTitle,
                        std::string_view searchArtist, std::string_view sid) const;

    std::string firstBase_;
    std::string secondBase_;
    const std::atomic<bool>* cancel_;
    WorkFolder work_;
};
