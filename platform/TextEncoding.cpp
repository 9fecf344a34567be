#include "platform/TextEncoding.h"

#include "platform/CodePage.h"
#include "platform/OutOfMemory.h"

#include <new>

int MeasureAndConvertUtf8(const char* text, std::string* out) {
    std::string ansi = CodePage::Utf8ToAnsi(text ? std::string_view(text) : std::string_view());
    int result = static_cast<int>(ansi.size()) + 2;
    if (out)
        *out = std::move(ansi);
    return result;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return CodePage::Utf8ToAnsi(utf8);
}

std::string UrlEncode(const char* bytes) {
    return bytes ? UrlEncode(std::string_view(bytes)) : std::string();
}

std::string UrlEncode(std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    try {
        std::string out;
        out.reserve(bytes.size() + 1);
        for (unsigned char c : bytes) {
            bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                              c == '~';
            if (unreserved) {
                out.push_back(static_cast<char>(c));
            } else {
                out.push_back('%');
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            }
        }
        return out;
    } catch (const std::bad_alloc&) {
        ExitOutOfMemory();
    }
}

std::string HexEncode(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text) {
        out.push_back(c < 0x10 ? ' ' : kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
    return out;
}

namespace {
int HexValue(char c) {
    if (c == ' ')
        return 0;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::string HexDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        int high = HexValue(text[i]);
        int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        if (high == 0 && low == 0)
            break; // a zero byte would end the text anyway
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}
