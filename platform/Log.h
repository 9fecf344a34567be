#pragma once
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

// The diagnostic log: one line per event worth knowing when a listener reports a problem (a
// failed transfer, a decoder failure, a site's error page, a rejected reply, a failed save).
// Off by default; LANTORFM_LOG=net,player (or "all") switches categories on. Lines go to stderr
// as "<seconds since start> [category] t<thread>: text", each written whole by one call.
//
//     Log(Log::kNet) << "GET " << Log::Redacted(url) << " failed: HTTP " << status;
//
// A line is built only when its category is on, so a disabled log costs a flag test per
// argument. Texts from the network are logged as data: control characters become \xNN, so a
// hostile text can never forge a line. Never log a password, token or cookie: pass URLs and
// bodies through Redacted.
class Log {
public:
    enum Category { kNet, kPlayer, kLyrics, kSettings, kSession, kDesktop, kCategoryCount };
    static constexpr std::size_t kMaxLineBytes = 2048; // longer texts are cut

    explicit Log(Category category);
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    template <class T> Log& operator<<(const T& value) {
        if (on_)
            text_ << value;
        return *this;
    }

    static bool Enabled(Category category);
    // Sets the categories from a LANTORFM_LOG-style list ("net,player", "all", "" for none);
    // unknown names are ignored. The environment is read once at the first line otherwise.
    static void Configure(std::string_view list);
    // Where lines go instead of stderr (tests); an empty function restores stderr.
    static void SetSink(std::function<void(std::string_view line)> sink);
    // text with the values of secret query or form fields (token, password, ...) and of
    // Authorization and Cookie headers replaced by "***".
    static std::string Redacted(std::string_view text);
    static const char* Name(Category category);

private:
    bool on_;
    Category category_;
    std::ostringstream text_;
};
