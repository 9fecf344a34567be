#pragma once
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 with a port the system picks, serving on its own threads, for
// tests and benchmarks. Register routes, then Start (or pass a routes function to the
// constructor); the destructor stops it and joins its threads. Every request that reaches a
// route, or no route (answered 404), is recorded as the server received it.
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
    // Calls routes(*this), then Start.
    explicit LoopbackServer(const std::function<void(LoopbackServer&)>& routes);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Routes (patterns are regular expressions over the path); only before Start.
    LoopbackServer& Get(const std::string& pattern, Handler handler);
    LoopbackServer& Post(const std::string& pattern, Handler handler);
    // The underlying server, for settings beyond routes; only before Start.
    httplib::Server& Raw() { return server_; }

    void Start();
    void Stop(); // idempotent

    int Port() const { return port_; }
    std::string Base() const; // "http://127.0.0.1:<port>"
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
    Handler Recorded(Handler handler);
    void Record(const httplib::Request& req);

    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    bool started_ = false;

    mutable std::mutex lock_; // guards requests_ and stopping_
    mutable std::condition_variable changed_;
    std::vector<Request> requests_;
    bool stopping_ = false;
};
