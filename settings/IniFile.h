#pragma once
#include <string>
#include <string_view>
#include <vector>

// A settings file of "[section]" lines and "key=value" lines, kept in memory in file order.
// Lines are taken literally: no comments, no trimming, no escapes. Duplicate sections and keys
// are kept; lookups and changes act on the first match. Lines end in CR LF on disk; reading
// accepts LF too. A line is read up to 3,999 characters; a longer one ends the loading.
//
// Values are data, never structure: SetString drops control characters (CR, LF, NUL, ...) from
// a value and cuts it to what fits on one line, and refuses a section or key that could not be
// read back as itself. So for whatever SetString took, Save then Load gives back the same
// sections, keys and values (as GetString gives them).
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
    // Writes the whole text to a new file beside the remembered path (mode 0600), flushes it to
    // the disk and renames it over the old one, so a full disk or a kill at any moment leaves
    // either the old file or the new one, whole. False (the old file untouched, the temporary
    // one removed, the reason logged) when any step fails.
    bool Save();
    // The byte side of Load and Save, without the file: Parse replaces the contents with what
    // the text holds, Serialize gives the text Save writes.
    void Parse(std::string_view text);
    std::string Serialize() const;
    bool HasSection(std::string_view name) const;
    // False for a name holding "]" or a control character, or too long for a line.
    bool AddSection(std::string_view name);
    bool GetString(std::string_view section, std::string_view key, std::string& out,
                   std::string_view def) const;
    bool GetInt(std::string_view section, std::string_view key, int& out, int def) const;
    // False, changing nothing, for a section AddSection refuses or a key that is empty, starts
    // with "[", holds "=" or a control character, or is too long for a line.
    bool SetString(std::string_view section, std::string_view key, std::string_view value);
    bool SetInt(std::string_view section, std::string_view key, int value);

    const std::vector<Section>& Sections() const { return sections_; }

private:
    static bool IsSectionName(std::string_view name);
    static bool IsKey(std::string_view key);
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    std::string path_;
    std::vector<Section> sections_;
};
