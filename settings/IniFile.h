#pragma once
#include <string>
#include <string_view>
#include <vector>

// A settings file of "[section]" lines and "key=value" lines, kept in memory in file order.
// Lines are taken literally: no comments, no trimming, no escapes. Duplicate sections and keys
// are kept; lookups and changes act on the first match. Lines end in CR LF on disk; reading
// accepts LF too. A line is read up to 3,999 characters; a longer one ends the loading.
class IniFile {
public:
    static constexpr size_t kMaxLineRead = 3999;
    static constexpr size_t kMaxLineWrite = 3998;

    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    virtual ~IniFile() = default;

    bool Load(const std::string& path);
    bool Save();
    // The byte side of Load and Save, without the file: Parse replaces the contents with what
    // the text holds, Serialize gives the text Save writes.
    void Parse(std::string_view text);
    std::string Serialize() const;
    bool HasSection(std::string_view name) const;
    bool AddSection(std::string_view name);
    bool GetString(std::string_view section, std::string_view key, std::string& out,
                   std::string_view def) const;
    bool GetInt(std::string_view section, std::string_view key, int& out, int def) const;
    bool SetString(std::string_view section, std::string_view key, std::string_view value);
    bool SetInt(std::string_view section, std::string_view key, int value);

    const std::vector<Section>& Sections() const { return sections_; }

private:
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    std::string path_;
    std::vector<Section> sections_;
};
