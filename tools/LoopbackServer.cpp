#include "tools/LoopbackServer.h"

#include <atomic>
#include <stdexcept>

namespace {

constexpr std::size_t kServerThreads = 16; // stalled answers each hold one
constexpr time_t kKeepAliveSeconds = 2;

} // namespace

std::string LoopbackServer::Request::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackServer::LoopbackServer(const std::function<void(LoopbackServer&)>& routes) {
    routes(*this);
    if (!Start())
        throw std::runtime_error("LoopbackServer: cannot bind 127.0.0.1");
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

LoopbackServer& LoopbackServer::Get(const std::string& pattern, Handler handler) {
    routes_.push_back({false, pattern, std::move(handler)});
    return *this;
}

LoopbackServer& LoopbackServer::Post(const std::string& pattern, Handler handler) {
    routes_.push_back({true, pattern, std::move(handler)});
    return *this;
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

bool LoopbackServer::Start(int port, const std::string& host) {
    if (server_)
        return false;
    auto server = std::make_unique<httplib::Server>();
    // httplib takes ownership of the queue it is handed.
    server->new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    server->set_keep_alive_timeout(kKeepAliveSeconds);
    // httplib's default adds SO_REUSEPORT, which would let a second server share the port.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    auto recorded = [this](Handler handler) {
        return [this, handler](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            handler(req, res);
        };
    };
    for (const Route& route : routes_) {
        if (route.post)
            server->Post(route.pattern, recorded(route.handler));
        else
            server->Get(route.pattern, recorded(route.handler));
    }
    // Whatever no route takes is still recorded, then answered 404.
    const Handler notFound = [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
    };
    server->Get(".*", recorded(notFound));
    server->Post(".*", recorded(notFound));
    server->Put(".*", recorded(notFound));
    server->Delete(".*", recorded(notFound));

    const int bound =
        port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = false;
    }
    host_ = host;
    port_ = bound;
    server_ = std::move(server);
    auto returned = std::make_shared<std::atomic<bool>>(false);
    thread_ = std::thread([s = server_.get(), returned] {
        s->listen_after_bind();
        *returned = true;
    });
    // stop() only takes effect once the accept loop runs.
    while (!server_->is_running() && !*returned)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

std::string LoopbackServer::Base() const {
    return "http://" + host_ + ":" + std::to_string(port_);
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
