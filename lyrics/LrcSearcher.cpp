#include "lyrics/LrcSearcher.h"

#include "lyrics/markup/MarkupDoc.h"
#include "platform/CodePage.h"
#include "platform/TextEncoding.h"
#include "service/CachePath.h"
#include "service/WebClient.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

namespace {

// The "div" classes of a result item on one site. On the first site the title and artist sit
// in a "font" element inside the "a".
struct SiteClasses {
    std::string_view title;
    std::string_view artist;
    std::string_view link;
    bool textInFont;
};
constexpr SiteClasses kFirstSiteClasses{"wmc", "wgs", "w50", true};
constexpr SiteClasses kSecondSiteClasses{"slmc", "acll", "slczt", false};

std::string WithoutTrailingSlash(std::string base) {
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

// The raw content of the title or artist element inside the entered "div"; none when missing.
std::optional<std::string> CheckedText(MarkupDoc& doc, bool textInFont) {
    if (!doc.FindChild("a"))
        return std::nullopt;
    if (!textInFont)
        return doc.Content(doc.ChildPos());
    if (!doc.Enter() || !doc.FindChild("font"))
        return std::nullopt;
    std::string text = doc.Content(doc.ChildPos());
    doc.Leave();
    return text;
}

// The next "<li>" item from `from` on, up to the end of its "</li>", and `from` moved past it;
// none when no complete item is left. On the second site upper-case closing anchors would not
// match their lower-case start tags: "/A" becomes "/a" over the whole item, link paths included.
std::optional<std::string> NextItem(std::string_view page, size_t& from, int site) {
    size_t open = page.find("<li>", from);
    if (open == std::string_view::npos)
        return std::nullopt;
    size_t close = page.find("</li>", open + 4);
    if (close == std::string_view::npos)
        return std::nullopt;
    from = close + 5;
    std::string item(page.substr(open, from - open));
    if (site == LrcSearcher::kSecondSite) {
        for (size_t p = item.find("/A"); p != std::string::npos; p = item.find("/A", p + 2))
            item[p + 1] = 'a';
    }
    return item;
}

// The song, singer and ".lrc" link of one item; none without a link or with a song or singer
// element of another structure.
std::optional<LrcSearcher::Item> ReadItem(std::string_view text, int site) {
    const SiteClasses& classes =
        site == LrcSearcher::kFirstSite ? kFirstSiteClasses : kSecondSiteClasses;
    MarkupDoc doc;
    doc.Load(text);
    LrcSearcher::Item item;
    item.site = site;
    while (doc.FindChild("div")) {
        if (!doc.Enter())
            return std::nullopt;
        std::string cls = doc.Attribute(doc.Pos(), "class");
        if (cls == classes.title || cls == classes.artist) {
            std::optional<std::string> found = CheckedText(doc, classes.textInFont);
            if (!found)
                return std::nullopt;
            (cls == classes.title ? item.song : item.singer) = std::move(*found);
        } else if (cls == classes.link && item.link.empty() && doc.FindChild("a")) {
            std::string href = doc.Attribute(doc.ChildPos(), "href");
            if (href.find(".lrc") != std::string::npos)
                item.link = std::move(href);
        }
        doc.Leave();
    }
    if (item.link.empty())
        return std::nullopt;
    return item;
}

std::optional<std::string> Utf8PageToAnsi(std::string_view html) {
    std::string ansi;
    if (MeasureAndConvertUtf8(std::string(html).c_str(), &ansi) <= 0)
        return std::nullopt;
    return ansi;
}

} // namespace

LrcSearcher::LrcSearcher(std::string firstBase, std::string secondBase,
                         const std::atomic<bool>* cancel, WorkFolder work)
    : firstBase_(WithoutTrailingSlash(std::move(firstBase))),
      secondBase_(WithoutTrailingSlash(std::move(secondBase))), cancel_(cancel),
      work_(std::move(work)) {}

bool LrcSearcher::Cancelled() const {
    return cancel_ && cancel_->load();
}

std::string LrcSearcher::SearchTitle(std::string_view title) {
    return std::string(title.substr(0, title.find('(')));
}

std::string LrcSearcher::SearchArtist(std::string_view artist) {
    artist = artist.substr(0, artist.find(" / "));
    artist = artist.substr(0, artist.find('/'));
    artist = artist.substr(0, artist.find(';'));
    return std::string(artist);
}

bool LrcSearcher::FindLyrics(std::string_view title, std::string_view artist,
                             std::string_view sid) const {
    std::optional<std::string> path = work_.Cache(kCacheLyrics, sid);
    if (!path)
        return false;
    std::error_code ec;
    if (std::filesystem::is_regular_file(*path, ec))
        return true;
    std::string searchTitle = SearchTitle(title);
    std::string searchArtist = SearchArtist(artist);
    if (Cancelled())
        return false;
    if (SearchSecondSite(searchTitle, searchArtist, sid))
        return true;
    return !Cancelled() && SearchFirstSite(searchTitle, searchArtist, sid);
}

namespace {

WebClient MakeClient(const std::atomic<bool>* cancel, bool failOnHttpError = false) {
    WebClient::Options options = WebClient::DefaultOptions();
    options.cancel = cancel;
    options.maxBodyBytes = std::min(options.maxBodyBytes, LrcSearcher::kMaxBodyBytes);
    options.failOnHttpError = failOnHttpError;
    options.totalTimeoutMs = LrcSearcher::kRequestTimeoutMs;
    return WebClient(options);
}

// A site that has lost a file often answers its link with a web page (an error or a search
// page, sometimes with status 200). LRC text starts with a tag in brackets or plain text, never
// with markup.
bool IsMarkupPage(std::string_view body) {
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return false;
    if (body[first] == '<')
        return true;
    std::string head(body.substr(0, 1024));
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head.find("<html") != std::string::npos || head.find("<!doctype") != std::string::npos;
}

} // namespace

std::optional<std::string> LrcSearcher::SecondSitePage(std::string_view searchTitle,
                                                       bool failOnHttpError) const {
    // Only the title is searched for; the artist picks among the results. The site knows only
    // GBK: characters it lacks are left out of the key (its pages cannot hold them either).
    std::string body = "key=" + UrlEncode(CodePage::AnsiToGbk(searchTitle)) + "&y=1";
    return MakeClient(cancel_, failOnHttpError).Post(secondBase_ + "/so.asp", body);
}

std::optional<std::string> LrcSearcher::FirstSitePage(std::string_view searchTitle,
                                                      std::string_view searchArtist,
                                                      bool failOnHttpError) const {
    std::string query = std::string(searchArtist) + " " + std::string(searchTitle);
    std::string url = firstBase_ + "/s/?key=" + UrlEncode(query) + "&mf=1&qf=1";
    return MakeClient(cancel_, failOnHttpError).Get(url);
}

bool LrcSearcher::SearchSecondSite(std::string_view searchTitle, std::string_view searchArtist,
                                   std::string_view sid) const {
    std::optional<std::string> page = SecondSitePage(searchTitle);
    return page && ScrapeSecondSite(*page, searchTitle, searchArtist, sid);
}

bool LrcSearcher::SearchFirstSite(std::string_view searchTitle, std::string_view searchArtist,
                                  std::string_view sid) const {
    std::optional<std::string> page = FirstSitePage(searchTitle, searchArtist);
    return page && ScrapeFirstSite(*page, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeFirstSite(std::string_view html, std::string_view searchTitle,
                                  std::string_view searchArtist, std::string_view sid) const {
    // The first site answers in UTF-8; the titles to compare are GBK.
    std::optional<std::string> ansi = Utf8PageToAnsi(html);
    return ansi && ScrapeItems(*ansi, kFirstSite, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeSecondSite(std::string_view html, std::string_view searchTitle,
                                   std::string_view searchArtist, std::string_view sid) const {
    return ScrapeItems(html, kSecondSite, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeItems(std::string_view page, int site, std::string_view searchTitle,
                              std::string_view searchArtist, std::string_view sid) const {
    size_t from = 0;
    while (!Cancelled()) {
        std::optional<std::string> item = NextItem(page, from, site);
        if (!item)
            return false;
        ItemResult result = WalkItem(*item, site, searchTitle, searchArtist, sid);
        if (result != ItemResult::kNoMatch)
            return result == ItemResult::kDownloaded;
    }
    return false;
}

std::vector<LrcSearcher::Item> LrcSearcher::ListItems(std::string_view page, int site) {
    std::vector<Item> items;
    size_t from = 0;
    while (std::optional<std::string> text = NextItem(page, from, site)) {
        if (std::optional<Item> item = ReadItem(*text, site))
            items.push_back(std::move(*item));
    }
    return items;
}

LrcSearcher::Listing LrcSearcher::ListLyrics(std::string_view title,
                                             std::string_view artist) const {
    const std::string searchTitle = SearchTitle(title);
    const std::string searchArtist = SearchArtist(artist);
    Listing listing;
    // The order the automatic search asks them in.
    for (int site : {kSecondSite, kFirstSite}) {
        if (Cancelled())
            break;
        std::optional<std::string> page = site == kSecondSite
                                              ? SecondSitePage(searchTitle, true)
                                              : FirstSitePage(searchTitle, searchArtist, true);
        if (page && site == kFirstSite)
            page = Utf8PageToAnsi(*page);
        if (!page) {
            listing.failed[site] = true;
            continue;
        }
        for (Item& item : ListItems(*page, site))
            listing.items.push_back(std::move(item));
    }
    std::stable_partition(listing.items.begin(), listing.items.end(),
                          [&](const Item& item) { return item.song == searchTitle; });
    return listing;
}

LrcSearcher::ItemResult LrcSearcher::WalkItem(std::string_view item, int site,
                                              std::string_view searchTitle,
                                              std::string_view searchArtist,
                                              std::string_view sid) const {
    const SiteClasses& classes = site == kFirstSite ? kFirstSiteClasses : kSecondSiteClasses;
    MarkupDoc doc;
    doc.Load(item);
    // Checks run in document order: a title or artist after the link is never looked at.
    while (doc.FindChild("div")) {
        if (!doc.Enter())
            return ItemResult::kNoMatch;
        std::string cls = doc.Attribute(doc.Pos(), "class");
        if (cls == classes.title || cls == classes.artist) {
            std::optional<std::string> text = CheckedText(doc, classes.textInFont);
            if (!text || *text != (cls == classes.title ? searchTitle : searchArtist))
                return ItemResult::kNoMatch;
        } else if (cls == classes.link && doc.FindChild("a")) {
            std::string href = doc.Attribute(doc.ChildPos(), "href");
            if (href.find(".lrc") != std::string::npos) {
                return DownloadLrc(href, sid, site) ? ItemResult::kDownloaded
                                                    : ItemResult::kDownloadFailed;
            }
        }
        doc.Leave();
    }
    return ItemResult::kNoMatch;
}

bool LrcSearcher::DownloadLrc(std::string_view link, std::string_view sid, int site) const {
    if (site != kFirstSite && site != kSecondSite)
        return false;
    const std::string& base = site == kFirstSite ? firstBase_ : secondBase_;
    // The link is always taken relative to the site's base.
    std::string url = base;
    if (link.empty() || link[0] != '/')
        url += '/';
    url += link;
    // An error status or a web page behind the link is no lyrics: nothing is stored, so the song
    // is not taken for found from now on.
    std::optional<std::string> body = MakeClient(cancel_, true).Get(url);
    if (!body || IsMarkupPage(*body))
        return false;

    std::string_view text(*body);
    text = text.substr(0, text.find('\0'));
    std::string file;
    file.reserve(text.size() + text.size() / 16 + 1);
    for (char c : text) {
        if (c == '\n')
            file += '\r';
        file += c;
    }
    file += '\0';
    // Written whole or not at all: a cut-off file would count as found from now on.
    return WriteCacheFile(kCacheLyrics, sid, file, work_);
}
