#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Reads a playlist reply as the JSON reader (JsonNode::Parse) reads it, without building
// anything: the same tokens, comments, trailing commas and depth limit, the same quirks, and
// nothing after the root value. Run is true when the reader would accept the text; Songs then
// holds the text of each element of the root object's last "song" member when that member is an
// array. So a reply of 100,000 songs is checked whole, but only the songs kept need building.
class ReplyScan {
public:
    explicit ReplyScan(std::string_view text) : text_(text) {}
    bool Run();
    const std::vector<std::string_view>& Songs() const { return songs_; }

private:
    enum Token {
        kObjectBegin,
        kObjectEnd,
        kArrayBegin,
        kArrayEnd,
        kString,
        kScalar,
        kComma,
        kColon,
        kComment,
        kEnd,
        kError
    };
    static constexpr std::size_t kStackLimit = 1000; // the reader's default

    Token Next(bool skipComments = true);
    Token Read();
    void SkipSpaces();
    bool ReadString();
    bool ReadComment();
    bool ReadNumber(bool signedStart);
    bool Match(std::string_view rest);
    // Checks the escapes of the string just read as the reader decodes them; with out, also
    // decodes it far enough to compare it with an ASCII name.
    bool CheckString(std::string* out) const;
    char At(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

    const std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t tokenStart_ = 0;
    std::vector<std::string_view> songs_;
};
