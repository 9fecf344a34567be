#include "scrobble/Scrobbler.h"

#include "platform/Log.h"
#include "scrobble/ListenPayload.h"

#include <algorithm>
#include <chrono>
#include <system_error>

struct Scrobbler::Batch {
    enum Kind { kListens, kUser, kLookup, kLove } kind = kListens;
    std::uint64_t loveId = 0;
    std::string_view type;
    std::vector<Listen> listens;
    std::vector<std::uint64_t> ids; // queue ids; empty for a playing_now notice
    std::uint64_t noticeSeq = 0;
    std::string token;
    std::string user, msid; // for loves
};

Scrobbler::Scrobbler(Config config)
    : clock_(config.clock ? *config.clock : ScrobbleClock::System()),
      client_(std::move(config.server), &cancel_), queue_(std::move(config.queuePath)),
      observer_(std::move(config.observer)), rule_(clock_), token_(std::move(config.token)) {}

Scrobbler::~Scrobbler() {
    Shutdown();
}

void Scrobbler::Start() {
    std::lock_guard<std::mutex> guard(lock_);
    if (started_ || stopping_)
        return;
    started_ = true;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        Log(Log::kNet) << "scrobbling off: no worker thread (" << e.what() << ")";
    }
}

void Scrobbler::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!stopping_)
            Counted(rule_.SongLeft(), true);
        stopping_ = true;
    }
    cancel_ = true;
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    queue_.Save();
}

void Scrobbler::SetToken(std::string token) {
    std::lock_guard<std::mutex> guard(lock_);
    token_ = std::move(token);
    userName_.clear();
    tokenRefused_ = false;
    failures_ = 0;
    retryAtMs_ = 0;
    error_.clear();
    wake_.notify_all();
}

void Scrobbler::Wake() {
    std::lock_guard<std::mutex> guard(lock_);
    wake_.notify_all();
}

Scrobbler::Status Scrobbler::CurrentStatus() const {
    std::lock_guard<std::mutex> guard(lock_);
    return MakeStatus(clock_.SteadyMs());
}

void Scrobbler::SongStarted(const ListenSong& song) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_)
        return;
    Counted(rule_.SongLeft(), true);
    Listen notice = rule_.SongStarted(song);
    ++noticeSeq_;
    notice_.reset();
    if (const std::string problem = ListenPayload::Problem(notice, false); !problem.empty())
        Log(Log::kNet) << "song not scrobbled: " << problem;
    else
        notice_ = std::move(notice);
    wake_.notify_all();
}

void Scrobbler::LengthKnown(std::int64_t lengthMs) {
    std::lock_guard<std::mutex> guard(lock_);
    rule_.LengthKnown(lengthMs);
    wake_.notify_all();
}

void Scrobbler::Paused() {
    std::lock_guard<std::mutex> guard(lock_);
    rule_.Paused();
    wake_.notify_all();
}

void Scrobbler::Resumed() {
    std::lock_guard<std::mutex> guard(lock_);
    rule_.Resumed();
    wake_.notify_all();
}

void Scrobbler::SongLeft() {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_)
        return;
    Counted(rule_.SongLeft(), true);
    notice_.reset();
    wake_.notify_all();
}

void Scrobbler::SongEnded(std::int64_t endMs) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_)
        return;
    Counted(rule_.SongEnded(endMs), true);
    notice_.reset();
    wake_.notify_all();
}

void Scrobbler::Liked() {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_)
        return;
    if (const std::optional<Listen> listen = rule_.CountedListen())
        AddLove(*listen);
    else
        likedPlaying_ = true;
    wake_.notify_all();
}

void Scrobbler::Counted(const std::optional<Listen>& listen, bool songOver) {
    const std::size_t before = queue_.Count();
    Enqueue(listen);
    if (likedPlaying_ && listen && queue_.Count() != before) {
        AddLove(*listen);
        likedPlaying_ = false;
    }
    if (songOver && likedPlaying_)
        Log(Log::kNet) << "liked song not reported: it did not count as a listen";
    if (songOver)
        likedPlaying_ = false;
}

void Scrobbler::AddLove(const Listen& listen) {
    if (loves_.size() >= kMaxLoves) {
        Log(Log::kNet) << "too many liked songs waiting: the oldest is not reported";
        loves_.pop_front();
    }
    loves_.push_back(Love{nextLoveId_++, listen, {}, 0, 0});
}

void Scrobbler::Enqueue(const std::optional<Listen>& listen) {
    if (!listen)
        return;
    if (const std::string problem = ListenPayload::Problem(*listen, true); !problem.empty()) {
        Log(Log::kNet) << "listen not kept: " << problem;
        return;
    }
    const std::uint64_t id = queue_.Append(*listen);
    freshId_ = failures_ == 0 ? id : 0;
}

void Scrobbler::Run() {
    // Before the first send; the ids it renumbers are not in use yet.
    queue_.Load();
    std::unique_lock<std::mutex> held(lock_);
    freshId_ = 0;
    while (!stopping_) {
        Counted(rule_.Poll(), false);
        // What is sent is on disk first, so a kill mid-request loses nothing.
        held.unlock();
        const bool saved = queue_.Save();
        held.lock();
        saveFailed_ = !saved;
        Report(held);
        if (stopping_)
            break;
        const std::int64_t now = clock_.SteadyMs();
        if (std::optional<Batch> batch = NextBatch(now))
            Send(*batch, held);
        else
            WaitForWork(held, now);
    }
    Report(held);
}

std::optional<Scrobbler::Batch> Scrobbler::NextBatch(std::int64_t now) {
    if (token_.empty() || tokenRefused_ || now < std::max(retryAtMs_, rateUntilMs_))
        return std::nullopt;
    Batch batch;
    batch.token = token_;
    if (notice_) {
        batch.type = ListenPayload::kPlayingNow;
        batch.listens.push_back(*notice_);
        batch.noticeSeq = noticeSeq_;
        return batch;
    }
    // When the file can be written, only what it holds is sent; when it cannot, sending is the
    // only way not to lose the listens.
    const std::vector<ListenQueue::Entry> entries =
        queue_.Oldest(batchLimit_, saveFailed_ ? UINT64_MAX : queue_.SavedThroughId());
    // Loves once every listen is through, so the liked one is stored or on its way.
    if (entries.empty() && queue_.Count() == 0 && !loves_.empty() &&
        now >= loves_.front().notBeforeMs) {
        const Love& love = loves_.front();
        batch.kind = userName_.empty()   ? Batch::kUser
                     : love.msid.empty() ? Batch::kLookup
                                         : Batch::kLove;
        batch.loveId = love.id;
        batch.user = userName_;
        batch.msid = love.msid;
        batch.listens.push_back(love.listen);
        return batch;
    }
    if (entries.empty())
        return std::nullopt;
    for (const ListenQueue::Entry& e : entries) {
        batch.listens.push_back(e.listen);
        batch.ids.push_back(e.id);
    }
    const bool fresh = entries.size() == 1 && entries.front().id == freshId_;
    batch.type = fresh ? ListenPayload::kSingle : ListenPayload::kImport;
    return batch;
}

void Scrobbler::Send(Batch& batch, std::unique_lock<std::mutex>& held) {
    sending_ = true;
    Report(held);
    if (batch.kind == Batch::kUser)
        return CheckToken(batch, held);
    held.unlock();
    ListenBrainzClient::SubmitResult result;
    if (batch.kind == Batch::kListens)
        result = client_.Submit(batch.token, batch.type, batch.listens);
    else if (batch.kind == Batch::kLookup)
        result = client_.FindRecordingMsid(batch.token, batch.user, batch.listens.front());
    else
        result = client_.SubmitFeedback(batch.token, batch.msid, 1);
    held.lock();
    sending_ = false;
    // Answers for a token no longer set are dropped, but stored listens are stored.
    if (batch.token == token_ || result.outcome == ListenBrainzClient::Outcome::kAccepted)
        Handle(batch, result);
}

void Scrobbler::CheckToken(const Batch& batch, std::unique_lock<std::mutex>& held) {
    using TokenState = ListenBrainzClient::TokenState;
    held.unlock();
    const ListenBrainzClient::TokenCheck check = client_.ValidateToken(batch.token);
    held.lock();
    sending_ = false;
    if (batch.token != token_)
        return;
    error_ = check.error;
    if (check.state == TokenState::kValid) {
        userName_ = check.userName;
        failures_ = 0;
        retryAtMs_ = 0;
    } else if (check.state == TokenState::kRefused) {
        tokenRefused_ = true;
        Log(Log::kNet) << "scrobbling stopped: the server refused the token (" << check.error
                       << ")";
    } else {
        BackOff(clock_.SteadyMs());
    }
}

void Scrobbler::BackOff(std::int64_t now) {
    ++failures_;
    freshId_ = 0;
    const std::size_t step = std::min<std::size_t>(failures_, kRetryDelaysMs.size()) - 1;
    retryAtMs_ = now + kRetryDelaysMs[step];
}

void Scrobbler::Handle(const Batch& batch, const ListenBrainzClient::SubmitResult& result) {
    using Outcome = ListenBrainzClient::Outcome;
    const std::int64_t now = clock_.SteadyMs();
    const bool notice = batch.kind == Batch::kListens && batch.ids.empty();
    const bool sameNotice = notice && batch.noticeSeq == noticeSeq_;
    auto waitOut = [&](std::int64_t seconds) {
        if (seconds >= 0)
            rateUntilMs_ = std::max(rateUntilMs_, now + std::min(seconds * 1000, kMaxRateWaitMs));
    };
    if (result.rateRemaining == 0)
        waitOut(result.rateResetInSeconds);
    error_ = result.error;
    switch (result.outcome) {
    case Outcome::kAccepted:
        failures_ = 0;
        retryAtMs_ = 0;
        if (sameNotice)
            notice_.reset();
        queue_.Remove(batch.ids);
        if (batch.kind != Batch::kListens)
            LoveAnswered(batch, result.msid, now);
        break;
    case Outcome::kTokenRefused:
        tokenRefused_ = true;
        Log(Log::kNet) << "scrobbling stopped: the server refused the token (" << result.error
                       << ")";
        break;
    case Outcome::kRejected:
    case Outcome::kTooLarge:
        if (sameNotice)
            notice_.reset();
        if (batch.kind != Batch::kListens) {
            Log(Log::kNet) << "liked song not reported: the server refused it (" << result.error
                           << ")";
            std::erase_if(loves_, [&](const Love& l) { return l.id == batch.loveId; });
        } else if (batch.ids.size() == 1) {
            Log(Log::kNet) << "listen of " << batch.listens.front().listenedAt
                           << " dropped: the server refused it (" << result.error << ")";
            queue_.Remove(batch.ids);
            batchLimit_ = kMaxBatch;
        } else if (!notice) {
            // One of them is refused: halve until it is alone; the others go meanwhile.
            batchLimit_ = std::max<std::size_t>(batch.ids.size() / 2, 1);
        }
        break;
    case Outcome::kRetryLater:
        BackOff(now);
        if (result.status == 429)
            waitOut(result.rateResetInSeconds);
        break;
    }
}

void Scrobbler::LoveAnswered(const Batch& batch, const std::string& msid, std::int64_t now) {
    auto love = std::find_if(loves_.begin(), loves_.end(),
                             [&](const Love& l) { return l.id == batch.loveId; });
    if (love == loves_.end())
        return;
    if (batch.kind == Batch::kLove) {
        loves_.erase(love);
    } else if (!msid.empty()) {
        love->msid = msid;
    } else if (batch.kind == Batch::kLookup) {
        // Not stored yet, or never: listens are stored a little after they are accepted.
        if (love->lookups == kLookupDelaysMs.size()) {
            Log(Log::kNet) << "liked song not reported: its listen of " << love->listen.listenedAt
                           << " is not among the user's listens";
            loves_.erase(love);
        } else {
            love->notBeforeMs = now + kLookupDelaysMs[love->lookups++];
        }
    }
}

void Scrobbler::WaitForWork(std::unique_lock<std::mutex>& held, std::int64_t now) {
    std::optional<std::int64_t> deadline;
    auto consider = [&](std::int64_t at) { deadline = deadline ? std::min(*deadline, at) : at; };
    const bool pending = notice_ || queue_.Count() > 0;
    const std::int64_t nextTry = std::max(retryAtMs_, rateUntilMs_);
    const bool canSend = !token_.empty() && !tokenRefused_;
    if (pending && canSend)
        consider(nextTry);
    else if (!loves_.empty() && canSend)
        consider(std::max(nextTry, loves_.front().notBeforeMs));
    if (const std::optional<std::int64_t> ms = rule_.MsUntilListen())
        consider(now + *ms);
    if (!deadline) {
        wake_.wait(held);
        return;
    }
    wake_.wait_for(held, std::chrono::milliseconds(std::max<std::int64_t>(*deadline - now, 1)));
}

Scrobbler::Status Scrobbler::MakeStatus(std::int64_t now) const {
    Status s;
    s.queued = queue_.Count();
    s.error = saveFailed_ ? "listens cannot be saved in " + queue_.Path() : error_;
    const bool pending = notice_ || s.queued > 0;
    const std::int64_t nextTry = std::max(retryAtMs_, rateUntilMs_);
    if (stopping_)
        s.state = State::kStopped;
    else if (token_.empty())
        s.state = State::kNoToken;
    else if (tokenRefused_)
        s.state = State::kTokenRefused;
    else if (sending_)
        s.state = State::kSending;
    else if (pending && now < nextTry)
        s.state = State::kWaiting;
    else
        s.state = pending ? State::kSending : State::kIdle;
    if (s.state == State::kWaiting)
        s.nextTryMs = nextTry;
    return s;
}

void Scrobbler::Report(std::unique_lock<std::mutex>& held) {
    Status status = MakeStatus(clock_.SteadyMs());
    if (reported_ == status)
        return;
    reported_ = status;
    if (!observer_)
        return;
    held.unlock();
    observer_(status);
    held.lock();
}
