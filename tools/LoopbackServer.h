#pragma once
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// An HTTP server on one port of 127.0.0.1, answering from a pool of its own threads: the demo
// station serves through it, and a test starts one with routes of its own. Add routes, then
// Start; Stop stops listening and joins every thread, and a later Start listens again with the
// same routes (the station's outages). Every request that reaches a route, or no route (answered
// 404), is recorded as it arrived.
//
// Handlers that stall should wait with Sleep, which returns early when the server stops, so that
// stopping never waits for a stalled handler.
class LoopbackServer {
public:
    struct Request {
        std::string method;
        std::string path;   // decoded path, without the query
        std::string target; // the request target exactly as sent (path and query)
        std::string query;  // the part of target after "?", as sent
        std::string body;
        httplib::Headers headers;

        std::string Header(const std::string& name) const; // "" when absent
    };
    using Handler = httplib::Server::Handler;

    LoopbackServer() = default;
    // Calls routes(*this), then Start on any free port; throws when nothing can be bound.
    explicit LoopbackServer(const std::function<void(LoopbackServer&)>& routes);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Routes (patterns are regular expressions over the path), tried in the order added.
    LoopbackServer& Get(const std::string& pattern, Handler handler);
    LoopbackServer& Post(const std::string& pattern, Handler handler);

    // Listens on host:port (port 0: a free one). False when that port is taken or the server
    // already runs.
    bool Start(int port = 0, const std::string& host = "127.0.0.1");
    void Stop();                                          // idempotent
    bool Listening() const { return server_ != nullptr; } // on the thread of Start and Stop

    int Port() const { return port_; } // the last port listened on; -1 before
    std::string Base() const;          // "http://<host>:<port>"
    std::string Url(std::string_view pathAndQuery) const {
        return Base() + std::string(pathAndQuery);
    }

    std::vector<Request> Requests() const;
    std::size_t RequestCount() const;
    Request LastRequest() const; // all empty when none came
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const;
    void ClearRequests();

    // Waits for d; false (at once) when the server is stopping.
    bool Sleep(std::chrono::milliseconds d) const;
    bool Stopping() const;

private:
    struct Route {
        bool post;
        std::string pattern;
        Handler handler;
    };

    void Record(const httplib::Request& req);

    std::vector<Route> routes_;
    // Owned by the thread that calls Start and Stop.
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string host_ = "127.0.0.1";
    int port_ = -1;

    mutable std::mutex lock_; // guards requests_ and stopping_
    mutable std::condition_variable changed_;
    std::vector<Request> requests_;
    bool stopping_ = false;
};
