#include "tests/support/LoopbackServer.h"

#include <stdexcept>

std::string LoopbackServer::Request::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackServer::LoopbackServer(const std::function<void(LoopbackServer&)>& routes) {
    routes(*this);
    Start();
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

LoopbackServer& LoopbackServer::Get(const std::string& pattern, Handler handler) {
    server_.Get(pattern, Recorded(std::move(handler)));
    return *this;
}

LoopbackServer& LoopbackServer::Post(const std::string& pattern, Handler handler) {
    server_.Post(pattern, Recorded(std::move(handler)));
    return *this;
}

LoopbackServer::Handler LoopbackServer::Recorded(Handler handler) {
    return
        [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            handler(req, res);
        };
}

void LoopbackServer::Record(const httplib::Request& req) {
    Request r;
    r.method = req.method;
    r.path = req.path;
    r.target = req.target;
    auto q = req.target.find('?');
    if (q != std::string::npos)
        r.query = req.target.substr(q + 1);
    r.body = req.body;
    r.headers = req.headers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        requests_.push_back(std::move(r));
    }
    changed_.notify_all();
}

void LoopbackServer::Start() {
    if (started_)
        return;
    // Whatever no route takes is still recorded, then answered 404.
    auto notFound = [](const httplib::Request&, httplib::Response& res) { res.status = 404; };
    server_.Get(".*", Recorded(notFound));
    server_.Post(".*", Recorded(notFound));
    server_.Put(".*", Recorded(notFound));
    server_.Delete(".*", Recorded(notFound));
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ < 0)
        throw std::runtime_error("LoopbackServer: cannot bind 127.0.0.1");
    started_ = true;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only takes effect once the accept loop runs.
    while (!server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (started_) {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
}

std::string LoopbackServer::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

std::size_t LoopbackServer::RequestCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_.size();
}

LoopbackServer::Request LoopbackServer::LastRequest() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_.empty() ? Request() : requests_.back();
}

bool LoopbackServer::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, timeout, [&] { return requests_.size() >= n; });
}

void LoopbackServer::ClearRequests() {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.clear();
}

bool LoopbackServer::Sleep(std::chrono::milliseconds d) const {
    std::unique_lock<std::mutex> guard(lock_);
    return !changed_.wait_for(guard, d, [&] { return stopping_; });
}

bool LoopbackServer::Stopping() const {
    std::lock_guard<std::mutex> guard(lock_);
    return stopping_;
}
