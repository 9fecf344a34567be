#include "service/ReplyScan.h"

#include <sstream>
#include <utility>

ReplyScan::Token ReplyScan::Next(bool skipComments) {
    Token t = Read();
    while (skipComments && t == kComment)
        t = Read();
    return t;
}

void ReplyScan::SkipSpaces() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
        ++pos_;
}

ReplyScan::Token ReplyScan::Read() {
    SkipSpaces();
    tokenStart_ = pos_;
    if (pos_ == text_.size())
        return kEnd;
    switch (text_[pos_++]) {
    case '{':
        return kObjectBegin;
    case '}':
        return kObjectEnd;
    case '[':
        return kArrayBegin;
    case ']':
        return kArrayEnd;
    case ',':
        return kComma;
    case ':':
        return kColon;
    case '"':
        return ReadString() && CheckString(nullptr) ? kString : kError;
    case '/':
        return ReadComment() ? kComment : kError;
    case '-':
    case '+':
        return ReadNumber(true) ? kScalar : kError;
    case 't':
        return Match("rue") ? kScalar : kError;
    case 'f':
        return Match("alse") ? kScalar : kError;
    case 'n':
        return Match("ull") ? kScalar : kError;
    case '\0':
        return kEnd; // the reader takes a NUL for the end of the text
    default:
        return text_[pos_ - 1] >= '0' && text_[pos_ - 1] <= '9' && ReadNumber(false) ? kScalar
                                                                                     : kError;
    }
}

bool ReplyScan::ReadString() {
    while (pos_ < text_.size()) {
        const char c = text_[pos_++];
        if (c == '\\') {
            if (pos_ == text_.size())
                return false;
            ++pos_;
        } else if (c == '"') {
            return true;
        }
    }
    return false;
}

bool ReplyScan::CheckString(std::string* out) const {
    std::string_view s = text_.substr(tokenStart_ + 1, pos_ - tokenStart_ - 2);
    if (!out && s.find('\\') == std::string_view::npos)
        return true;
    std::size_t i = 0;
    auto hex4 = [&](unsigned& value) {
        if (s.size() - i < 4)
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s[i++];
            value *= 16;
            if (c >= '0' && c <= '9')
                value += static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value += static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value += static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    };
    while (i < s.size()) {
        const char c = s[i++];
        if (c == '"')
            break;
        if (c != '\\') {
            if (out)
                *out += c;
            continue;
        }
        if (i == s.size())
            return false;
        const char escape = s[i++];
        unsigned code = static_cast<unsigned char>(escape);
        switch (escape) {
        case '"':
        case '/':
        case '\\':
            break;
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            code = 1; // a control character: never part of a name looked for
            break;
        case 'u':
            if (!hex4(code))
                return false;
            if (code >= 0xD800 && code <= 0xDBFF) {
                unsigned low = 0;
                if (s.size() - i < 6 || s[i] != '\\' || s[i + 1] != 'u')
                    return false;
                i += 2;
                if (!hex4(low))
                    return false;
                code = 0x10000;
            }
            break;
        default:
            return false;
        }
        // Only ASCII names are looked for: anything else decodes to a byte no name holds.
        if (out)
            *out += code < 0x80 ? static_cast<char>(code) : '\x80';
    }
    return true;
}

bool ReplyScan::ReadComment() {
    const char c = At(pos_);
    if (pos_ < text_.size())
        ++pos_;
    if (c == '*') {
        while (pos_ + 1 < text_.size()) {
            const char d = text_[pos_++];
            if (d == '*' && text_[pos_] == '/')
                break;
        }
        const char last = At(pos_);
        if (pos_ < text_.size())
            ++pos_;
        return last == '/';
    }
    if (c != '/')
        return false;
    while (pos_ < text_.size()) {
        const char d = text_[pos_++];
        if (d == '\n')
            break;
        if (d == '\r') {
            if (pos_ < text_.size() && text_[pos_] == '\n')
                ++pos_;
            break;
        }
    }
    return true;
}

bool ReplyScan::Match(std::string_view rest) {
    if (text_.substr(pos_, rest.size()) != rest)
        return false;
    pos_ += rest.size();
    return true;
}

bool ReplyScan::ReadNumber(bool signedStart) {
    if (signedStart && At(pos_) == 'I') {
        ++pos_;
        return false; // an infinity, which the reader refuses
    }
    // The reader's number token: digits, a fraction and an exponent, each part possibly empty.
    std::size_t p = pos_;
    char c = '0';
    auto next = [&] { return (pos_ = p) < text_.size() ? text_[p++] : '\0'; };
    auto digits = [&] {
        while (c >= '0' && c <= '9')
            c = next();
    };
    digits();
    if (c == '.') {
        c = next();
        digits();
    }
    bool exponent = false;
    if (c == 'e' || c == 'E') {
        exponent = true;
        c = next();
        if (c == '+' || c == '-')
            c = next();
        digits();
    }
    const std::string_view token = text_.substr(tokenStart_, pos_ - tokenStart_);
    // An integer (a lone "-" reads as 0) or a fraction this short converts; anything else is
    // converted as the reader converts it, which refuses an overflow.
    const std::string_view integer = token.substr(token[0] == '-' ? 1 : 0);
    const bool whole = integer.find_first_not_of("0123456789") == std::string_view::npos;
    const bool anyDigit = token.find_first_of("0123456789") != std::string_view::npos;
    if (token.size() <= 300 && (whole || (!exponent && anyDigit)))
        return true;
    std::istringstream in{std::string(token)};
    double value = 0;
    return static_cast<bool>(in >> value);
}

bool ReplyScan::Run() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF")
        pos_ = 3;
    struct Frame {
        bool object;
        bool songs; // the root's "song" array
    };
    enum class Want { kValue, kMember, kElement, kAfter };
    std::vector<Frame> stack;
    Want want = Want::kValue;
    bool songKey = false; // the member being read is the root's "song"
    std::size_t elementStart = 0;
    for (;;) {
        switch (want) {
        case Want::kValue: {
            if (stack.size() >= kStackLimit)
                return false;
            const Token t = Next();
            const bool songs = std::exchange(songKey, false);
            if (songs)
                songs_.clear(); // the last member of that name counts
            if (!stack.empty() && stack.back().songs)
                elementStart = tokenStart_;
            if (t == kObjectBegin) {
                stack.push_back({true, false});
                want = Want::kMember;
            } else if (t == kArrayBegin) {
                stack.push_back({false, songs});
                want = Want::kElement;
            } else if (t == kString || t == kScalar) {
                want = Want::kAfter;
            } else {
                return false;
            }
            break;
        }
        case Want::kMember: {
            const Token t = Next();
            if (t == kObjectEnd) {
                stack.pop_back();
                want = Want::kAfter;
                break;
            }
            if (t != kString)
                return false;
            if (stack.size() == 1) {
                std::string name;
                CheckString(&name);
                songKey = name == "song";
            }
            if (Next(false) != kColon)
                return false;
            want = Want::kValue;
            break;
        }
        case Want::kElement:
            // An empty array, or a comma before its end.
            SkipSpaces();
            if (pos_ < text_.size() && text_[pos_] == ']') {
                ++pos_;
                stack.pop_back();
                want = Want::kAfter;
            } else {
                want = Want::kValue;
            }
            break;
        case Want::kAfter: {
            if (stack.empty())
                return true; // what follows the root value is not read
            const Frame top = stack.back();
            if (top.songs)
                songs_.push_back(text_.substr(elementStart, pos_ - elementStart));
            if (!top.object) {
                const Token t = Next();
                if (t == kComma)
                    want = Want::kElement;
                else if (t == kArrayEnd)
                    stack.pop_back();
                else
                    return false;
                break;
            }
            // After a member the reader takes comments and then any one token for the comma.
            Token t = Next(false);
            const bool comment = t == kComment;
            while (t == kComment)
                t = Next(false);
            if (t == kObjectEnd)
                stack.pop_back();
            else if (t == kComma || comment)
                want = Want::kMember;
            else
                return false;
            break;
        }
        }
    }
}
