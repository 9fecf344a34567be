#include "settings/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Appends one line to the text Save writes; the line feed becomes CR LF as a text-mode write
// would make it, and an over-long line is cut so that it still loads back.
void AppendLine(std::string& out, std::string_view line) {
    if (line.size() > IniFile::kMaxLineWrite)
        line = line.substr(0, IniFile::kMaxLineWrite);
    for (char c : line) {
        if (c == '\n')
            out += "\r\n";
        else
            out.push_back(c);
    }
    out += "\r\n";
}

} // namespace

bool IniFile::Load(const std::string& path) {
    sections_.clear();
    path_ = path;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    Parse(text.str());
    return true;
}

void IniFile::Parse(std::string_view text) {
    sections_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line =
            text.substr(pos, (end == std::string_view::npos ? text.size() : end) - pos);
        pos = next;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool tooLong = line.size() > kMaxLineRead;
        if (tooLong)
            line = line.substr(0, kMaxLineRead);

        if (!line.empty() && line[0] == '[') {
            size_t close = line.find(']');
            if (close != std::string_view::npos)
                sections_.push_back({std::string(line.substr(1, close - 1)), {}});
        } else {
            size_t eq = line.find('=');
            if (eq != std::string_view::npos && eq > 0 && !sections_.empty())
                sections_.back().entries.push_back(
                    {std::string(line.substr(0, eq)), std::string(line.substr(eq + 1))});
        }
        // A line over the limit is the end of what can be read.
        if (tooLong)
            break;
    }
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const auto& section : sections_) {
        AppendLine(out, "[" + section.name + "]");
        for (const auto& entry : section.entries)
            AppendLine(out, entry.key + "=" + entry.value);
        out += "\r\n";
    }
    return out;
}

bool IniFile::Save() {
    std::string text = Serialize();
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file)
        return false;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return true;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (auto& section : sections_)
        if (section.name == name)
            return &section;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    for (const auto& section : sections_)
        if (section.name == name)
            return &section;
    return nullptr;
}

bool IniFile::HasSection(std::string_view name) const {
    return FindSection(name) != nullptr;
}

bool IniFile::AddSection(std::string_view name) {
    if (!HasSection(name))
        sections_.push_back({std::string(name), {}});
    return true;
}

bool IniFile::GetString(std::string_view section, std::string_view key, std::string& out,
                        std::string_view def) const {
    if (const Section* s = FindSection(section)) {
        for (const auto& entry : s->entries) {
            if (entry.key == key) {
                out = entry.value;
                return true;
            }
        }
    }
    out = std::string(def);
    return false;
}

bool IniFile::GetInt(std::string_view section, std::string_view key, int& out, int def) const {
    std::string value;
    if (!GetString(section, key, value, "")) {
        out = def;
        return false;
    }
    // atoi's reading, but clamped instead of undefined on overflow.
    errno = 0;
    long n = std::strtol(value.c_str(), nullptr, 10);
    if (n > INT_MAX)
        n = INT_MAX;
    if (n < INT_MIN)
        n = INT_MIN;
    out = static_cast<int>(n);
    return true;
}

bool IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (auto& entry : s->entries) {
        if (entry.key == key) {
            entry.value = std::string(value);
            return true;
        }
    }
    s->entries.push_back({std::string(key), std::string(value)});
    return true;
}

bool IniFile::SetInt(std::string_view section, std::string_view key, int value) {
    return SetString(section, key, std::to_string(value));
}
