#include "settings/IniFile.h"

#include "platform/CodePage.h"
#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControl);
}

// Appends one line to the text Save writes, with CR LF as a text-mode write would end it. A line
// is never over the limit (SetString cuts values); one loaded at the read limit is cut here so
// that it still loads back.
void AppendLine(std::string& out, std::string_view line) {
    out.append(line.substr(0, IniFile::kMaxLineWrite));
    out += "\r\n";
}

std::string Reason() {
    return std::strerror(errno);
}

// Writes all of text to fd; false on a short write (a full disk) or an error.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a save replaces: the target of a link, so a linked config.ini stays linked.
std::string SaveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        std::filesystem::path target = std::filesystem::canonical(path, ec);
        if (!ec)
            return target.string();
    }
    return path;
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
    const std::string text = Serialize();
    const std::string target = SaveTarget(path_);
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    // Beside the file, so the rename stays on one file system and replaces it in one step.
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // mode 0600: it may hold the password
    if (fd < 0) {
        Log(Log::kSettings) << "save " << target << " failed: cannot create " << temp << ": "
                            << Reason();
        return false;
    }
    const char* step = nullptr;
    if (!WriteAll(fd, text))
        step = "write";
    else if (::fsync(fd) != 0)
        step = "fsync";
    const std::string why = step ? Reason() : std::string();
    if (::close(fd) != 0 && !step)
        step = "close";
    if (!step && ::rename(temp.c_str(), target.c_str()) != 0)
        step = "rename";
    if (step) {
        Log(Log::kSettings) << "save " << target << " failed: " << step << ": "
                            << (why.empty() ? Reason() : why) << "; the old file stays";
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk only with the folder.
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        // Some file systems cannot sync a folder (EINVAL); the file itself is synced.
        const bool synced = ::fsync(dir) == 0 || errno == EINVAL;
        const std::string dirWhy = synced ? std::string() : Reason();
        ::close(dir);
        if (!synced) {
            Log(Log::kSettings) << "save " << target << ": the folder did not sync: " << dirWhy;
            return false;
        }
    }
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
    if (!IsSectionName(name))
        return false;
    if (!HasSection(name))
        sections_.push_back({std::string(name), {}});
    return true;
}

bool IniFile::IsSectionName(std::string_view name) {
    return name.find(']') == std::string_view::npos && !HasControl(name) &&
           name.size() + 2 <= kMaxLineWrite;
}

bool IniFile::IsKey(std::string_view key) {
    return !key.empty() && key.front() != '[' && key.find('=') == std::string_view::npos &&
           !HasControl(key) && key.size() + 1 < kMaxLineWrite;
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
    if (!IsSectionName(section) || !IsKey(key))
        return false;
    std::string clean;
    clean.reserve(value.size());
    std::copy_if(value.begin(), value.end(), std::back_inserter(clean),
                 [](char c) { return !IsControl(c); });
    CodePage::CutAtCharacter(clean, kMaxLineWrite - key.size() - 1);
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (auto& entry : s->entries) {
        if (entry.key == key) {
            entry.value = std::move(clean);
            return true;
        }
    }
    s->entries.push_back({std::string(key), std::move(clean)});
    return true;
}

bool IniFile::SetInt(std::string_view section, std::string_view key, int value) {
    return SetString(section, key, std::to_string(value));
}
