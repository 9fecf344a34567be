#include "tests/support/FakeListenBrainz.h"

#include <json/json.h>

#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

void Answer(httplib::Response& res, int status, const Json::Value& body) {
    res.status = status;
    res.set_content(Json::writeString(Json::StreamWriterBuilder(), body), "application/json");
}

bool IsUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

void Require(bool ok, const std::string& what) {
    if (!ok)
        throw std::invalid_argument(what);
}

void OnlyKeys(const Json::Value& v, const std::set<std::string>& allowed,
              const std::string& where) {
    Require(v.isObject(), where + " is no object");
    for (const std::string& key : v.getMemberNames())
        Require(allowed.count(key) == 1, where + " has the unknown key " + key);
}

std::string Text(const Json::Value& v, const char* name, bool required) {
    if (!required && !v.isMember(name))
        return {};
    const Json::Value& t = v[name];
    Require(t.isString() && !t.asString().empty() && IsUtf8(t.asString()),
            std::string(name) + " is no non-empty UTF-8 text");
    return t.asString();
}

// One listen of the payload, checked field by field.
FakeListenBrainz::Seen ReadListen(const Json::Value& item, bool withTime) {
    FakeListenBrainz::Seen seen;
    OnlyKeys(item, {"listened_at", "track_metadata"}, "a listen");
    Require(item.isMember("listened_at") == withTime, "listened_at where it does not belong");
    if (withTime) {
        Require(item["listened_at"].isInt64() && item["listened_at"].asInt64() >= 1033430400,
                "listened_at is no time");
        seen.listenedAt = item["listened_at"].asInt64();
    }
    const Json::Value& meta = item["track_metadata"];
    OnlyKeys(meta, {"artist_name", "track_name", "release_name", "additional_info"},
             "track_metadata");
    seen.artist = Text(meta, "artist_name", true);
    seen.track = Text(meta, "track_name", true);
    seen.release = Text(meta, "release_name", false);
    const Json::Value& info = meta["additional_info"];
    OnlyKeys(info,
             {"media_player", "media_player_version", "submission_client",
              "submission_client_version", "duration_ms"},
             "additional_info");
    Require(info["media_player"] == "LantorFM" && info["submission_client"] == "LantorFM",
            "not from LantorFM");
    Text(info, "media_player_version", true);
    Text(info, "submission_client_version", true);
    if (info.isMember("duration_ms")) {
        Require(info["duration_ms"].isInt64() && info["duration_ms"].asInt64() > 0,
                "duration_ms is no length");
        seen.durationMs = info["duration_ms"].asInt64();
    }
    return seen;
}

// The id the server gives the listen at index i.
std::string Msid(std::size_t i) {
    char id[48];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012zu", i);
    return id;
}

} // namespace

FakeListenBrainz::FakeListenBrainz(std::string token, std::string user)
    : token_(std::move(token)), user_(std::move(user)) {
    server_.Post("/1/submit-listens", [this](const auto& req, auto& res) { Submit(req, res); });
    server_.Get("/1/validate-token", [this](const auto& req, auto& res) { Validate(req, res); });
    server_.Get("/1/user/([^/]+)/listens",
                [this](const auto& req, auto& res) { ReadListens(req, res); });
    server_.Post("/1/feedback/recording-feedback",
                 [this](const auto& req, auto& res) { Feedback(req, res); });
    server_.Start();
}

bool FakeListenBrainz::Answered(httplib::Response& res) {
    if (rateRemaining_ >= 0) {
        res.set_header("X-RateLimit-Remaining", std::to_string(rateRemaining_));
        res.set_header("X-RateLimit-Reset-In", std::to_string(rateResetIn_));
    }
    if (down_)
        Answer(res, 503, Json::Value("down"));
    return down_;
}

void FakeListenBrainz::Submit(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> guard(lock_);
    if (Answered(res))
        return;
    if (!Authorized(req, res))
        return;
    std::vector<Seen> seen;
    std::string type;
    try {
        Require(req.get_header_value("Content-Type") == "application/json", "not JSON");
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value root;
        Require(reader->parse(req.body.data(), req.body.data() + req.body.size(), &root, nullptr),
                "the body is no JSON");
        OnlyKeys(root, {"listen_type", "payload"}, "the body");
        type = root["listen_type"].asString();
        const Json::Value& payload = root["payload"];
        const Json::ArrayIndex most = type == "import" ? 100 : 1;
        Require(type == "import" || type == "single" || type == "playing_now", "bad listen_type");
        Require(payload.isArray() && !payload.empty() && payload.size() <= most, "bad payload");
        for (const Json::Value& item : payload)
            seen.push_back(ReadListen(item, type != "playing_now"));
        for (const Seen& s : seen)
            Require(s.track != refused_, "refused track " + s.track);
    } catch (const std::exception& e) {
        problems_.push_back(e.what());
        Json::Value body;
        body["code"] = 400;
        body["error"] = e.what();
        return Answer(res, 400, body);
    }
    accepted_.push_back(type + " " + std::to_string(seen.size()));
    for (Seen& s : seen) {
        if (type == "playing_now") {
            playingNow_.push_back(std::move(s));
            continue;
        }
        bool known = false;
        for (const Seen& old : listens_)
            known = known || (old.listenedAt == s.listenedAt && old.artist == s.artist &&
                              old.track == s.track);
        if (known)
            ++repeats_;
        else
            listens_.push_back(std::move(s));
    }
    Json::Value ok;
    ok["status"] = "ok";
    Answer(res, 200, ok);
}

bool FakeListenBrainz::Authorized(const httplib::Request& req, httplib::Response& res) {
    if (req.get_header_value("Authorization") == "Token " + token_)
        return true;
    Json::Value body;
    body["code"] = 401;
    body["error"] = "Invalid authorization token.";
    Answer(res, 401, body);
    return false;
}

void FakeListenBrainz::ReadListens(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> guard(lock_);
    if (Answered(res) || !Authorized(req, res))
        return;
    if (req.matches[1] != user_)
        return Answer(res, 404, Json::Value("no such user"));
    const std::int64_t minTs = std::stoll(req.get_param_value("min_ts"));
    const std::int64_t maxTs = std::stoll(req.get_param_value("max_ts"));
    Json::Value listens(Json::arrayValue);
    for (std::size_t i = 0; i < listens_.size() && hiddenReads_ == 0; ++i) {
        const Seen& s = listens_[i];
        if (s.listenedAt <= minTs || s.listenedAt >= maxTs)
            continue;
        Json::Value item;
        item["listened_at"] = Json::Int64(s.listenedAt);
        item["recording_msid"] = Msid(i);
        item["track_metadata"]["artist_name"] = s.artist;
        item["track_metadata"]["track_name"] = s.track;
        listens.append(item);
    }
    hiddenReads_ = std::max(hiddenReads_ - 1, 0);
    Json::Value body;
    body["payload"]["count"] = listens.size();
    body["payload"]["listens"] = listens;
    Answer(res, 200, body);
}

void FakeListenBrainz::Feedback(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> guard(lock_);
    if (Answered(res) || !Authorized(req, res))
        return;
    Json::Value root;
    std::istringstream in(req.body);
    std::string track;
    if (Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr) && root.isObject() &&
        root.size() == 2 && root["score"].isInt() && root["recording_msid"].isString())
        for (std::size_t i = 0; i < listens_.size(); ++i)
            if (Msid(i) == root["recording_msid"].asString())
                track = listens_[i].track;
    if (track.empty()) {
        problems_.push_back("bad feedback " + req.body);
        Json::Value body;
        body["code"] = 400;
        body["error"] = "bad feedback";
        return Answer(res, 400, body);
    }
    loves_.push_back(track + " " + std::to_string(root["score"].asInt()));
    Json::Value ok;
    ok["status"] = "ok";
    Answer(res, 200, ok);
}

void FakeListenBrainz::Validate(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> guard(lock_);
    if (Answered(res))
        return;
    Json::Value body;
    body["code"] = 200;
    body["valid"] = req.get_header_value("Authorization") == "Token " + token_;
    body["message"] = body["valid"].asBool() ? "Token valid." : "Token invalid.";
    if (body["valid"].asBool())
        body["user_name"] = user_;
    Answer(res, 200, body);
}

void FakeListenBrainz::HideListens(int n) {
    std::lock_guard<std::mutex> guard(lock_);
    hiddenReads_ = n;
}

std::vector<std::string> FakeListenBrainz::Loves() const {
    std::lock_guard<std::mutex> guard(lock_);
    return loves_;
}

void FakeListenBrainz::SetDown(bool down) {
    std::lock_guard<std::mutex> guard(lock_);
    down_ = down;
}

void FakeListenBrainz::SetRateLimit(int remaining, int resetInSeconds) {
    std::lock_guard<std::mutex> guard(lock_);
    rateRemaining_ = remaining;
    rateResetIn_ = resetInSeconds;
}

void FakeListenBrainz::RefuseTrack(std::string track) {
    std::lock_guard<std::mutex> guard(lock_);
    refused_ = std::move(track);
}

std::vector<FakeListenBrainz::Seen> FakeListenBrainz::Listens() const {
    std::lock_guard<std::mutex> guard(lock_);
    return listens_;
}

std::size_t FakeListenBrainz::Repeats() const {
    std::lock_guard<std::mutex> guard(lock_);
    return repeats_;
}

std::vector<FakeListenBrainz::Seen> FakeListenBrainz::PlayingNow() const {
    std::lock_guard<std::mutex> guard(lock_);
    return playingNow_;
}

std::vector<std::string> FakeListenBrainz::Accepted() const {
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_;
}

std::vector<std::string> FakeListenBrainz::Problems() const {
    std::lock_guard<std::mutex> guard(lock_);
    return problems_;
}
