#include "scrobble/Scrobbler.h"

#include "platform/Log.h"
#include "scrobble/ListenPayload.h"

#include <algorithm>
#include <chrono>
#include <system_error>

struct Scrobbler::Batch {
    std::string_view type;
    std::vector<Listen> listens;
    std::vector<std::uint64_t> ids; // queue ids; empty for a playing_now notice
    std::uint64_t noticeSeq = 0;
    std::string token;
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
    // Read before the first send, so ids follow the queue's order. The file is small but for a
    // long time offline; the caller's thread reads it once.
    queue_.Load();
    freshId_ = 0;
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
            Enqueue(rule_.SongLeft());
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
    Enqueue(rule_.SongLeft());
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
    Enqueue(rule_.SongLeft());
    notice_.reset();
    wake_.notify_all();
}

void Scrobbler::SongEnded(std::int64_t endMs) {
    std::lock_guard<std::mutex> guard(lock_);
    if (stopping_)
        return;
    Enqueue(rule_.SongEnded(endMs));
    notice_.reset();
    wake_.notify_all();
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
    std::unique_lock<std::mutex> held(lock_);
    while (!stopping_) {
        Enqueue(rule_.Poll());
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
    held.unlock();
    const ListenBrainzClient::SubmitResult result =
        client_.Submit(batch.token, batch.type, batch.listens);
    held.lock();
    sending_ = false;
    Handle(batch, result);
}

void Scrobbler::Handle(const Batch& batch, const ListenBrainzClient::SubmitResult& result) {
    using Outcome = ListenBrainzClient::Outcome;
    const std::int64_t now = clock_.SteadyMs();
    const bool notice = batch.ids.empty();
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
        if (batch.ids.size() == 1) {
            Log(Log::kNet) << "listen of " << batch.listens.front().listenedAt
                           << " dropped: the server refused it (" << result.error << ")";
            queue_.Remove(batch.ids);
            batchLimit_ = kMaxBatch;
        } else if (!notice) {
            // One of them is refused: halve until it is alone; the others go meanwhile.
            batchLimit_ = std::max<std::size_t>(batch.ids.size() / 2, 1);
        }
        break;
    case Outcome::kRetryLater: {
        ++failures_;
        freshId_ = 0;
        const std::size_t step = std::min<std::size_t>(failures_, kRetryDelaysMs.size()) - 1;
        retryAtMs_ = now + kRetryDelaysMs[step];
        if (result.status == 429)
            waitOut(result.rateResetInSeconds);
        break;
    }
    }
}

void Scrobbler::WaitForWork(std::unique_lock<std::mutex>& held, std::int64_t now) {
    std::optional<std::int64_t> deadline;
    auto consider = [&](std::int64_t at) { deadline = deadline ? std::min(*deadline, at) : at; };
    const bool pending = notice_ || queue_.Count() > 0;
    if (pending && !token_.empty() && !tokenRefused_)
        consider(std::max(retryAtMs_, rateUntilMs_));
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
