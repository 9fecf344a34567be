#include "platform/Log.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::array<const char*, Log::kCategoryCount> kNames{"net",      "player",  "lyrics",
                                                              "settings", "session", "desktop"};

// Query and form fields whose values never reach a line.
constexpr std::array<std::string_view, 6> kSecretFields{"token",  "password", "pass",
                                                        "passwd", "secret",   "key"};
// Header names (lower case) whose values never reach a line.
constexpr std::array<std::string_view, 3> kSecretHeaders{"authorization", "cookie", "set-cookie"};

const auto kStart = std::chrono::steady_clock::now();

std::atomic<unsigned> enabledMask{0};
std::once_flag fromEnvironment;

std::mutex sinkLock; // guards sink and serialises writes
std::function<void(std::string_view)> sink;

void ReadEnvironment() {
    std::call_once(fromEnvironment, [] {
        if (const char* list = std::getenv("LANTORFM_LOG"))
            Log::Configure(list);
    });
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == y; });
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// Appends text with control characters (and DEL) as \xNN, so a line stays one line.
void AppendEscaped(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
}

} // namespace

Log::Log(Category category) : on_(Enabled(category)), category_(category) {}

Log::~Log() {
    if (!on_)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
    char head[64];
    std::snprintf(head, sizeof head, "%10.6f [%s] t%ld: ", seconds, Name(category_),
                  static_cast<long>(syscall(SYS_gettid)));
    std::string body = text_.str();
    if (body.size() > kMaxLineBytes)
        body.resize(kMaxLineBytes);
    std::string line = head;
    AppendEscaped(line, body);
    line += '\n';
    std::lock_guard<std::mutex> guard(sinkLock);
    if (sink) {
        sink(std::string_view(line).substr(0, line.size() - 1));
        return;
    }
    // One write per line, so lines from several threads never interleave.
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

bool Log::Enabled(Category category) {
    ReadEnvironment();
    return (enabledMask.load(std::memory_order_relaxed) >> category) & 1u;
}

void Log::Configure(std::string_view list) {
    unsigned mask = 0;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        if (name == "all")
            mask = (1u << kCategoryCount) - 1;
        for (int c = 0; c < kCategoryCount; ++c)
            if (name == kNames[c])
                mask |= 1u << c;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    enabledMask = mask;
}

void Log::SetSink(std::function<void(std::string_view)> newSink) {
    std::lock_guard<std::mutex> guard(sinkLock);
    sink = std::move(newSink);
}

const char* Log::Name(Category category) {
    return category >= 0 && category < kCategoryCount ? kNames[category] : "?";
}

std::string Log::Redacted(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        // A name starts at the text's start or after a character that is not part of one.
        if (!IsNameChar(text[i]) || (i > 0 && IsNameChar(text[i - 1]))) {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && IsNameChar(text[end]))
            ++end;
        const std::string_view name = text.substr(i, end - i);
        out.append(name);
        i = end;
        const bool field = i < text.size() && text[i] == '=' &&
                           std::any_of(kSecretFields.begin(), kSecretFields.end(),
                                       [&](std::string_view s) { return EqualsNoCase(name, s); });
        const bool header = i < text.size() && text[i] == ':' &&
                            std::any_of(kSecretHeaders.begin(), kSecretHeaders.end(),
                                        [&](std::string_view s) { return EqualsNoCase(name, s); });
        if (!field && !header)
            continue;
        out += text[i++];
        // A field's value ends at the next separator, a header's at the end of its line.
        const std::string_view stops = field ? "&; \t\r\n\"" : "\r\n";
        while (i < text.size() && stops.find(text[i]) == std::string_view::npos)
            ++i;
        out += header ? " ***" : "***";
    }
    return out;
}
