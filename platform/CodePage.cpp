#include "platform/CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// One converter per thread and direction: an iconv_t holds shift state and is not thread-safe.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv_open failed");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; on a byte sequence that cannot be converted calls onBad(pos) which
    // returns how many input bytes to skip, after appending its replacement. Returns false when
    // anything was replaced.
    template <typename OnBad> bool Run(std::string_view in, std::string& out, OnBad onBad) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        bool clean = true;
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        char buf[4096];
        while (left > 0) {
            char* dst = buf;
            size_t room = sizeof buf;
            size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, dst - buf);
            if (r != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            clean = false;
            int error = errno;
            size_t pos = in.size() - left;
            size_t skip = onBad(pos, out);
            if (error == EINVAL) // a sequence cut off by the end of the text counts once
                skip = left;
            if (skip > left)
                skip = left;
            src += skip;
            left -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return clean;
    }

private:
    iconv_t cd_;
};

Converter& ToAnsi() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}
Converter& FromAnsi() {
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

constexpr std::string_view kEuroUtf8 = "\xE2\x82\xAC";
constexpr char kEuroAnsi = '\x80';

// Length of a well-formed UTF-8 sequence at s, or 0 when the bytes there are malformed.
size_t Utf8SequenceLength(std::string_view s) {
    auto b = static_cast<unsigned char>(s[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > s.size())
        return 0;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0;
    return n;
}

} // namespace

namespace CodePage {

bool Utf8ToAnsiStrict(std::string_view utf8, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    bool clean = true;
    // GBK writes the euro sign as the single byte 0x80, GB18030 as A2 E3; the GBK byte keeps
    // config.ini and the lyrics sites' keys as they always were.
    for (size_t from = 0;;) {
        const size_t euro = utf8.find(kEuroUtf8, from);
        const std::string_view part = utf8.substr(from, euro - from);
        clean &= ToAnsi().Run(part, out, [&](size_t pos, std::string& o) {
            o.push_back(kDefaultChar);
            size_t n = Utf8SequenceLength(part.substr(pos));
            return n ? n : 1; // an unmappable character is skipped whole, a bad byte alone
        });
        if (euro == std::string_view::npos)
            return clean;
        out.push_back(kEuroAnsi);
        from = euro + kEuroUtf8.size();
    }
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    Utf8ToAnsiStrict(utf8, out);
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() * 3 / 2);
    FromAnsi().Run(ansi, out, [&](size_t pos, std::string& o) {
        if (ansi[pos] == kEuroAnsi) // GBK's euro sign, which GB18030 leaves unassigned
            o.append(kEuroUtf8);
        else
            o.push_back(kDefaultChar);
        // A lead byte with a bad trail takes only itself, so ASCII after it survives.
        return size_t{1};
    });
    return out;
}

bool CodePointToAnsi(std::uint32_t cp, std::string& out) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    std::string utf8;
    if (cp < 0x80) {
        utf8.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        utf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        utf8.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        utf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        utf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return Utf8ToAnsiStrict(utf8, out);
}

} // namespace CodePage

std::size_t CodePage::CharLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto digit = [&](std::size_t i) { return byte(i) >= '0' && byte(i) <= '9'; };
    if (at + 1 >= text.size() || !IsLeadByte(byte(at)))
        return 1;
    if (digit(at + 1) && at + 3 < text.size() && IsLeadByte(byte(at + 2)) && digit(at + 3))
        return 4;
    return 2;
}

std::string CodePage::AnsiToGbk(std::string_view ansi) {
    std::string gbk;
    gbk.reserve(ansi.size());
    for (std::size_t i = 0; i < ansi.size();) {
        const std::size_t n = CharLength(ansi, i);
        if (n != 4)
            gbk.append(ansi.substr(i, n));
        i += n;
    }
    return gbk;
}

void CodePage::CutAtCharacter(std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return;
    std::size_t end = 0;
    while (end < maxBytes) {
        const std::size_t step = CharLength(text, end);
        if (end + step > maxBytes)
            break;
        end += step;
    }
    text.resize(end);
}
