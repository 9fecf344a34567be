#pragma once
#include "tools/LoopbackServer.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A listening-history server on 127.0.0.1 for tests: POST /1/submit-listens, GET
// /1/validate-token, GET /1/user/<user>/listens and POST /1/feedback/recording-feedback, strict
// about the token and the JSON shape (what it refuses it answers 400 and lists in Problems). It
// keeps each distinct listen once, by listened_at, artist and track, and counts the repeats, as the
// real one de-duplicates.
class FakeListenBrainz {
public:
    struct Seen {
        std::int64_t listenedAt = 0;
        std::string artist, track, release;
        std::int64_t durationMs = 0;
    };

    explicit FakeListenBrainz(std::string token = "good-token", std::string user = "listener");

    std::string Base() const { return server_.Base(); }
    const LoopbackServer& Server() const { return server_; }

    // Down: every request is answered 503.
    void SetDown(bool down);
    // Rate-limit headers on every answer; remaining -1 sends none.
    void SetRateLimit(int remaining, int resetInSeconds);
    // A submit holding a listen of this track is refused with 400.
    void RefuseTrack(std::string track);
    // The next n reads of the user's listens find none, as while listens are being stored.
    void HideListens(int n);

    std::vector<Seen> Listens() const;         // distinct, in arrival order
    std::size_t Repeats() const;               // listens received again
    std::vector<Seen> PlayingNow() const;      // notices, in arrival order
    std::vector<std::string> Accepted() const; // "<listen_type> <count>" per accepted submit
    std::vector<std::string> Problems() const; // why requests were refused
    std::vector<std::string> Loves() const;    // "<track> <score>" per feedback

private:
    void Submit(const httplib::Request& req, httplib::Response& res);
    void Validate(const httplib::Request& req, httplib::Response& res);
    void ReadListens(const httplib::Request& req, httplib::Response& res);
    void Feedback(const httplib::Request& req, httplib::Response& res);
    bool Authorized(const httplib::Request& req, httplib::Response& res); // lock_ held
    bool Answered(httplib::Response& res); // down or rate headers; lock_ held

    const std::string token_, user_;

    mutable std::mutex lock_; // guards the fields down to problems_
    bool down_ = false;
    int rateRemaining_ = -1, rateResetIn_ = 0;
    std::string refused_;
    std::vector<Seen> listens_, playingNow_;
    std::size_t repeats_ = 0;
    std::vector<std::string> accepted_, loves_, problems_;
    int hiddenReads_ = 0;

    LoopbackServer server_; // last: stops before the fields go
};
