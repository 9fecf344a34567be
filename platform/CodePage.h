#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The program's ANSI code page is GB18030: GBK for every character GBK has (the same bytes, the
// euro sign included as GBK's single byte 0x80) and four-byte forms for the rest of Unicode, so
// that Hangul, "ö" or an emoji survive. These convert between it and UTF-8 with iconv. A malformed
// sequence in the input becomes the default character "?" (one per malformed byte), as does one
// of the few private-use code points GB18030 has no form for.
namespace CodePage {

constexpr char kDefaultChar = '?';

std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// Strict form: false when any character has no ANSI form or the input is malformed.
bool Utf8ToAnsiStrict(std::string_view utf8, std::string& out);

// One Unicode code point as ANSI bytes; false when it has no ANSI form.
bool CodePointToAnsi(std::uint32_t codePoint, std::string& out);

// ANSI text for a site that only knows GBK: each character GBK lacks (a four-byte form) is
// left out; everything else stays as it is.
std::string AnsiToGbk(std::string_view ansi);

// Whether b is the lead byte of a two- or four-byte character.
inline bool IsLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// Length of the character at text[at]: 4 for a lead byte, digit, lead byte, digit; 2 for any
// other lead byte; else 1. Never beyond the end of text.
std::size_t CharLength(std::string_view text, std::size_t at);

// Shortens text to at most maxBytes, never ending inside a multi-byte character.
void CutAtCharacter(std::string& text, std::size_t maxBytes);

} // namespace CodePage
