#include "lyrics/LrcSearcher.h"

#include "lyrics/markup/MarkupDoc.h"
#include "platform/Messages.h"
#include "platform/NotifyTarget.h"
#include "platform/TextEncoding.h"
#include "service/CachePath.h"
#include "service/WebClient.h"
#include "settings/AppSettings.h"

#include <algorithm>
#include <cstdio>
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

} // namespace

LrcSearcher::LrcSearcher(const std::atomic<bool>* cancel) : cancel_(cancel) {
    AppSettings settings;
    firstBase_ = WithoutTrailingSlash(settings.Lyrics1Base());
    secondBase_ = WithoutTrailingSlash(settings.Lyrics2Base());
}

LrcSearcher::LrcSearcher(std::string firstBase, std::string secondBase,
                         const std::atomic<bool>* cancel)
    : firstBase_(WithoutTrailingSlash(std::move(firstBase))),
      secondBase_(WithoutTrailingSlash(std::move(secondBase))), cancel_(cancel) {}

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
    std::optional<std::string> path = CachePath(kCacheLyrics, sid);
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

WebClient MakeClient(const std::atomic<bool>* cancel) {
    WebClient::Options options = WebClient::DefaultOptions();
    options.cancel = cancel;
    options.maxBodyBytes = std::min(options.maxBodyBytes, LrcSearcher::kMaxBodyBytes);
    options.totalTimeoutMs = LrcSearcher::kRequestTimeoutMs;
    return WebClient(options);
}

} // namespace

bool LrcSearcher::SearchSecondSite(std::string_view searchTitle, std::string_view searchArtist,
                                   std::string_view sid) const {
    // Only the title is searched for; the artist picks among the results.
    std::string body = "key=" + UrlEncode(searchTitle) + "&y=1";
    std::optional<std::string> page = MakeClient(cancel_).Post(secondBase_ + "/so.asp", body);
    return page && ScrapeSecondSite(*page, searchTitle, searchArtist, sid);
}

bool LrcSearcher::SearchFirstSite(std::string_view searchTitle, std::string_view searchArtist,
                                  std::string_view sid) const {
    std::string query = std::string(searchArtist) + " " + std::string(searchTitle);
    std::string url = firstBase_ + "/s/?key=" + UrlEncode(query) + "&mf=1&qf=1";
    std::optional<std::string> page = MakeClient(cancel_).Get(url);
    return page && ScrapeFirstSite(*page, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeFirstSite(std::string_view html, std::string_view searchTitle,
                                  std::string_view searchArtist, std::string_view sid) const {
    // The first site answers in UTF-8; the titles to compare are GBK.
    std::string ansi;
    if (MeasureAndConvertUtf8(std::string(html).c_str(), &ansi) <= 0)
        return false;
    return ScrapeItems(ansi, kFirstSite, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeSecondSite(std::string_view html, std::string_view searchTitle,
                                   std::string_view searchArtist, std::string_view sid) const {
    return ScrapeItems(html, kSecondSite, searchTitle, searchArtist, sid);
}

bool LrcSearcher::ScrapeItems(std::string_view page, int site, std::string_view searchTitle,
                              std::string_view searchArtist, std::string_view sid) const {
    size_t from = 0;
    while (!Cancelled()) {
        size_t open = page.find("<li>", from);
        if (open == std::string_view::npos)
            return false;
        size_t close = page.find("</li>", open + 4);
        if (close == std::string_view::npos)
            return false;
        size_t end = close + 5;
        std::string item(page.substr(open, end - open));
        if (site == kSecondSite) {
            // Upper-case closing anchors would not match their lower-case start tags. The
            // replacement covers the whole item, link paths included.
            for (size_t p = item.find("/A"); p != std::string::npos; p = item.find("/A", p + 2))
                item[p + 1] = 'a';
        }
        ItemResult result = WalkItem(item, site, searchTitle, searchArtist, sid);
        if (result != ItemResult::kNoMatch)
            return result == ItemResult::kDownloaded;
        from = end;
    }
    return false;
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
    std::optional<std::string> body = MakeClient(cancel_).Get(url);
    if (!body)
        return false;
    std::optional<std::string> path = CachePath(kCacheLyrics, sid);
    if (!path)
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

    std::FILE* out = std::fopen(path->c_str(), "wb");
    if (!out)
        return false;
    bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    written = std::fclose(out) == 0 && written;
    if (!written) {
        // A cut-off file would count as found from now on.
        std::error_code ec;
        std::filesystem::remove(*path, ec);
    }
    return written;
}

void RunLyricsWorker(const LrcSearcher& searcher, NotifyTarget* target, std::uintptr_t infoParam,
                     std::string title, std::string artist, std::string sid) {
    if (!target || searcher.Cancelled())
        return;
    target->Send(msg::kLyricsState, infoParam, 0);
    if (searcher.FindLyrics(title, artist, sid) && !searcher.Cancelled())
        target->Send(msg::kLyricsState, infoParam, 1);
}

void RunLyricsWorker(NotifyTarget* target, std::uintptr_t infoParam, std::string title,
                     std::string artist, std::string sid, const std::atomic<bool>* cancel) {
    LrcSearcher searcher(cancel);
    RunLyricsWorker(searcher, target, infoParam, std::move(title), std::move(artist),
                    std::move(sid));
}
