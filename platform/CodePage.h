#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The program's ANSI code page is 936 (GBK). These convert between it and UTF-8 with iconv.
// A character with no GBK form becomes the default character "?", as does a malformed sequence
// in the input (each malformed byte gives one "?").
namespace CodePage {

constexpr char kDefaultChar = '?';

std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// Strict form: false when any character has no GBK form or the input is malformed.
bool Utf8ToAnsiStrict(std::string_view utf8, std::string& out);

// One Unicode code point as GBK bytes; false when it has no GBK form.
bool CodePointToAnsi(std::uint32_t codePoint, std::string& out);

// Whether b is the lead byte of a two-byte GBK character.
inline bool IsLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// Shortens text to at most maxBytes, never ending inside a two-byte character.
void CutAtCharacter(std::string& text, std::size_t maxBytes);

} // namespace CodePage
