#include "scrobble/ListenQueue.h"

#include "platform/Log.h"
#include "scrobble/ListenPayload.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces path with bytes so that a crash at any moment leaves the old or the new file whole.
bool WriteDurably(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".tmp";
    Fd file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (file.Get() < 0)
        return false;
    if (!WriteAll(file.Get(), bytes) || ::fsync(file.Get()) != 0 || !file.Close() ||
        std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is durable only once the folder is.
    std::string folder = std::filesystem::path(path).parent_path().string();
    Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() >= 0 && ::fsync(dir.Get()) == 0;
}

} // namespace

ListenQueue::ListenQueue(std::string path) : path_(std::move(path)) {}

bool ListenQueue::Load() {
    std::deque<Entry> loaded;
    std::error_code ec;
    const bool exists = std::filesystem::exists(path_, ec);
    bool ok = !ec;
    if (ok && exists) {
        const std::uintmax_t size = std::filesystem::file_size(path_, ec);
        std::ifstream in(path_, std::ios::binary);
        ok = !ec && size <= kMaxFileBytes && in;
        std::string line;
        std::size_t number = 0;
        while (ok && std::getline(in, line)) {
            ++number;
            if (line.empty())
                continue;
            if (std::optional<Listen> listen = ListenPayload::FromLine(line))
                loaded.push_back(Entry{0, std::move(*listen), std::move(line)});
            else
                Log(Log::kNet) << "listen queue " << path_ << ": line " << number
                               << " is no listen, dropped";
        }
        ok = ok && (in.eof() || in.good());
    }
    if (!ok) {
        Log(Log::kNet) << "listen queue " << path_ << " cannot be read; moved aside";
        std::filesystem::rename(path_, path_ + ".unreadable", ec);
        loaded.clear();
    }
    std::lock_guard<std::mutex> files(fileLock_);
    std::lock_guard<std::mutex> guard(lock_);
    const bool appended = !entries_.empty();
    const std::size_t fromFile = loaded.size();
    loaded.insert(loaded.end(), entries_.begin(), entries_.end());
    entries_ = std::move(loaded);
    for (Entry& e : entries_)
        e.id = nextId_++;
    if (entries_.size() > kMaxListens) {
        Log(Log::kNet) << "listen queue " << path_ << ": the oldest "
                       << entries_.size() - kMaxListens << " listens are over the limit, dropped";
        entries_.erase(entries_.begin(), entries_.end() - static_cast<std::ptrdiff_t>(kMaxListens));
    }
    ++version_;
    // Unchanged from the file unless listens came meanwhile or some were dropped.
    if (ok && !appended && entries_.size() == fromFile) {
        savedVersion_ = version_;
        savedThroughId_ = entries_.empty() ? 0 : entries_.back().id;
    }
    return ok;
}

std::uint64_t ListenQueue::Append(const Listen& listen) {
    std::lock_guard<std::mutex> guard(lock_);
    if (entries_.size() >= kMaxListens) {
        Log(Log::kNet) << "listen queue full: the oldest listen (listened_at "
                       << entries_.front().listen.listenedAt << ") is dropped";
        entries_.pop_front();
    }
    entries_.push_back(Entry{nextId_++, listen, ListenPayload::ToLine(listen)});
    ++version_;
    return entries_.back().id;
}

std::vector<ListenQueue::Entry> ListenQueue::Oldest(std::size_t count, std::uint64_t maxId) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Entry> oldest;
    for (auto it = entries_.begin(); it != entries_.end() && oldest.size() < count; ++it)
        if (it->id <= maxId)
            oldest.push_back(*it);
    return oldest;
}

std::uint64_t ListenQueue::SavedThroughId() const {
    std::lock_guard<std::mutex> guard(lock_);
    return savedThroughId_;
}

void ListenQueue::Remove(const std::vector<std::uint64_t>& ids) {
    if (ids.empty())
        return;
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t before = entries_.size();
    std::erase_if(entries_, [&](const Entry& e) {
        return std::find(ids.begin(), ids.end(), e.id) != ids.end();
    });
    if (entries_.size() != before)
        ++version_;
}

bool ListenQueue::Save() {
    std::lock_guard<std::mutex> files(fileLock_);
    std::string text;
    std::uint64_t version = 0;
    std::uint64_t lastId = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        version = version_;
        if (version == savedVersion_)
            return true;
        lastId = nextId_ - 1;
        for (const Entry& e : entries_) {
            text += e.line;
            text += '\n';
        }
    }
    if (!WriteDurably(path_, text)) {
        Log(Log::kNet) << "listen queue " << path_ << " cannot be saved: " << std::strerror(errno);
        return false;
    }
    savedVersion_ = version;
    std::lock_guard<std::mutex> guard(lock_);
    savedThroughId_ = lastId;
    return true;
}

std::size_t ListenQueue::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}
