#pragma once
#include <string>
#include <string_view>

// Conversions between the service's UTF-8, the program's ANSI (GB18030) texts, percent-encoded
// form values and the hex form of the stored account.

// Converts UTF-8 to ANSI. Returns the ANSI length in bytes including the terminating zero, plus
// one. With out given, the converted text (without the zero) is stored there. A null text is
// measured as an empty one.
int MeasureAndConvertUtf8(const char* text, std::string* out);

// UTF-8 to ANSI (CodePage::Utf8ToAnsi).
std::string Utf8ToAnsi(std::string_view utf8);

// Percent-encodes every byte but A-Z a-z 0-9 - . _ ~ as "%XX" (uppercase). A null text gives "".
std::string UrlEncode(const char* bytes);
std::string UrlEncode(std::string_view bytes);

// Two lowercase hex digits per byte ("%2x": a value below 0x10 has a space for its leading zero).
std::string HexEncode(std::string_view text);

// Each complete pair back to its byte (space = 0). Stops before the first pair holding any other
// character; a trailing odd character is ignored.
std::string HexDecode(std::string_view text);
