#pragma once
#include "scrobble/ListenBrainzClient.h"
#include "scrobble/ListenQueue.h"
#include "scrobble/ListenRule.h"
#include "scrobble/ScrobbleClock.h"
#include "service/WorkFolder.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Scrobbling for one run. Takes the player's song events, lets a ListenRule decide what counts,
// keeps each counted listen in a ListenQueue (saved before it is sent) and sends from one
// worker thread: the playing_now notice of the song that plays, then the queue oldest first
// ("single" for the one listen just counted, else "import" batches of at most kMaxBatch). A
// listen leaves the queue only after a 200 for the request that carried it, so a kill loses
// nothing and repeats at most the batch in flight. Failures back off 1, 2, 4, 8, then every
// 10 s on the clock; a server's rate limit is waited out; a refused token (401) stops sending
// until SetToken; a listen the server refuses (400) is found by halving the batch and dropped
// with a log line, the rest stay.
//
// A liked song is loved on the server once its listen is stored there: the love needs the
// recording_msid the server gave the listen, read back from the user's listens (the user name
// comes from checking the token). A song left before it counted has no listen to love. Loves
// wait in memory only: a love not yet delivered at exit is lost, never a listen.
//
// Every method is thread-safe and returns at once. The observer hears each status change on
// the worker thread, with no lock held; it must not call Shutdown.
class Scrobbler {
public:
    static constexpr std::size_t kMaxBatch = 100;
    static constexpr std::array<std::int64_t, 5> kRetryDelaysMs{1000, 2000, 4000, 8000, 10000};
    static constexpr std::int64_t kMaxRateWaitMs = 60 * 60 * 1000;
    // Reading back a fresh listen that is not stored yet: tries after these, then gives up.
    static constexpr std::array<std::int64_t, 5> kLookupDelaysMs{5000, 15000, 30000, 60000, 120000};
    static constexpr std::size_t kMaxLoves = 100;
    // In the program's data folder, beside config.ini.
    static constexpr std::string_view kQueueFileName = WorkFolder::kScrobbleQueueName;

    enum class State {
        kNoToken,      // nothing is sent: no token set
        kIdle,         // nothing waiting to be sent
        kSending,      // a request is under way
        kWaiting,      // a failure or the rate limit: the next try is at nextTryMs
        kTokenRefused, // the server refused the token: nothing is sent until another is set
        kStopped,
    };
    struct Status {
        State state = State::kNoToken;
        std::size_t queued = 0;     // listens not yet accepted
        std::int64_t nextTryMs = 0; // kWaiting: the clock's SteadyMs of the next try
        std::string error;          // the last failure; "" after a success
        bool operator==(const Status&) const = default;
    };
    using Observer = std::function<void(const Status&)>;

    struct Config {
        std::string server = std::string(ListenBrainzClient::kDefaultServer);
        std::string token; // may come later through SetToken
        std::string queuePath = std::string(kQueueFileName);
        const ScrobbleClock* clock = nullptr; // the system's when null; must outlive this
        Observer observer;
    };

    explicit Scrobbler(Config config);
    ~Scrobbler(); // Shutdown
    Scrobbler(const Scrobbler&) = delete;
    Scrobbler& operator=(const Scrobbler&) = delete;

    // Starts the worker, which first reads the queue file. Once.
    void Start();
    // Counts the playing song as left, saves the queue, ends the running request and joins the
    // worker. Events after it are ignored.
    void Shutdown();

    // A new token clears a refusal and sends what waits at once; "" stops sending.
    void SetToken(std::string token);
    // Tries at once what waits for the clock (after a resume from suspend; tests move clocks).
    void Wake();
    Status CurrentStatus() const;

    // The player's events, in the order they happen (see ListenRule).
    void SongStarted(const ListenSong& song);
    void LengthKnown(std::int64_t lengthMs);
    void Paused();
    void Resumed();
    void SongLeft();
    void SongEnded(std::int64_t endMs);
    // The playing song is liked (see above).
    void Liked();

private:
    struct Batch;
    struct Love {
        std::uint64_t id = 0;
        Listen listen;
        std::string msid; // "" until read back
        std::size_t lookups = 0;
        std::int64_t notBeforeMs = 0;
    };
    void Run();
    // The rule's listen of a song (none: it did not count); then the song is done with.
    void Counted(const std::optional<Listen>& listen, bool songOver); // lock_ held
    void Enqueue(const std::optional<Listen>& listen);                // lock_ held
    void AddLove(const Listen& listen);                               // lock_ held
    void BackOff(std::int64_t now);                                   // lock_ held
    void CheckToken(const Batch& batch, std::unique_lock<std::mutex>& held);
    void LoveAnswered(const Batch& batch, const std::string& msid, std::int64_t now);
    std::optional<Batch> NextBatch(std::int64_t now); // lock_ held
    void Send(Batch& batch, std::unique_lock<std::mutex>& held);
    void Handle(const Batch& batch, const ListenBrainzClient::SubmitResult& result);
    void WaitForWork(std::unique_lock<std::mutex>& held, std::int64_t now);
    Status MakeStatus(std::int64_t now) const; // lock_ held
    void Report(std::unique_lock<std::mutex>& held);

    const ScrobbleClock& clock_;
    std::atomic<bool> cancel_{false}; // raised by Shutdown: ends the running request
    const ListenBrainzClient client_;
    ListenQueue queue_;
    const Observer observer_;

    // Lock order: lock_ before the queue's own.
    mutable std::mutex lock_; // guards the fields down to reported_
    std::condition_variable wake_;
    ListenRule rule_;
    std::string token_;
    bool tokenRefused_ = false;
    bool started_ = false;
    bool stopping_ = false;
    bool sending_ = false;
    bool saveFailed_ = false;            // the last Save of the queue failed
    std::optional<Listen> notice_;       // the playing song's playing_now, until sent or left
    std::uint64_t noticeSeq_ = 0;        // counts notices, so a late reply clears only its own
    std::uint64_t freshId_ = 0;          // the queue id of a listen counted while all went well
    int failures_ = 0;                   // in a row
    std::int64_t retryAtMs_ = 0;         // back-off: no request before
    std::int64_t rateUntilMs_ = 0;       // rate limit: no request before
    std::size_t batchLimit_ = kMaxBatch; // halved while a refused listen is looked for
    bool likedPlaying_ = false;          // the playing song is liked and has not counted
    std::deque<Love> loves_;             // oldest first
    std::uint64_t nextLoveId_ = 1;
    std::string userName_; // the token's user; "" until checked
    std::string error_;
    std::optional<Status> reported_;

    std::thread worker_; // started by Start, joined by Shutdown
};
