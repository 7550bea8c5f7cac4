// Test helpers for the security manager client: a scripted loopback
// listener standing in for the manager, scratch folders and environment.
#ifndef XRB_TESTS_SECURITY_SECMGR_FIXTURE_H
#define XRB_TESTS_SECURITY_SECMGR_FIXTURE_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../support/loopback.h"

namespace sectest {

// Listens on 127.0.0.1 at a port of its own; for each connection it takes
// the bytes the client sends until the line is quiet, then sends the next
// scripted reply as raw bytes (and closes when told to).
class FakeManager {
public:
    struct Turn {
        std::string reply; // bytes to send back
        bool closeEarly;   // close right after accept, read nothing
    };
    explicit FakeManager(std::vector<Turn> turns);
    ~FakeManager();
    int port() const { return port_; }
    // Requests received, one per connection.
    std::vector<std::string> requests();

private:
    void run();
    int listener_ = -1;
    int port_ = 0;
    std::vector<Turn> turns_;
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A fresh folder under the test's temporary area, removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string const& path() const { return path_; }
    std::string file(char const* name) const { return path_ + "/" + name; }
    // Writes an executable shell script.
    void script(char const* name, std::string const& body) const;

private:
    std::string path_;
};

// Sets or clears an environment variable for the life of the object.
class EnvGuard {
public:
    EnvGuard(char const* name, char const* value);
    ~EnvGuard();

private:
    std::string name_;
    bool had_;
    std::string old_;
};

using loopback::freePort;

inline int bindLoopback(int port)
{
    return loopback::bindTcp(port);
}
inline int boundPort(int s)
{
    return loopback::portOf(s);
}

inline FakeManager::FakeManager(std::vector<Turn> turns) : turns_(std::move(turns))
{
    listener_ = bindLoopback(0);
    listen(listener_, 8);
    port_ = boundPort(listener_);
    thread_ = std::thread([this] { run(); });
}

inline FakeManager::~FakeManager()
{
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
}

inline std::vector<std::string> FakeManager::requests()
{
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
}

inline void FakeManager::run()
{
    for (auto const& turn : turns_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 15000) <= 0 || !(p.revents & POLLIN))
            return;
        int c = accept(listener_, nullptr, nullptr);
        if (c < 0)
            return;
        if (turn.closeEarly) {
            linger l{1, 0};
            setsockopt(c, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            close(c);
            std::lock_guard<std::mutex> g(lock_);
            requests_.push_back("");
            continue;
        }
        std::string got;
        char buf[512];
        // The client sends no terminator: the request is whatever arrives
        // before the line goes quiet.
        for (;;) {
            pollfd q{c, POLLIN, 0};
            if (poll(&q, 1, got.empty() ? 5000 : 200) <= 0)
                break;
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            requests_.push_back(got);
        }
        send(c, turn.reply.data(), turn.reply.size(), MSG_NOSIGNAL);
        close(c);
    }
}

inline ScratchDir::ScratchDir()
{
    char tmpl[] = "/tmp/xrbsec_test.XXXXXX";
    char* d = mkdtemp(tmpl);
    if (d == nullptr)
        throw std::runtime_error("mkdtemp");
    path_ = d;
}

inline ScratchDir::~ScratchDir()
{
    // Not through the shell: a test may have left PATH pointing anywhere.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

inline void ScratchDir::script(char const* name, std::string const& body) const
{
    std::string p = file(name);
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    chmod(p.c_str(), 0755);
}

inline EnvGuard::EnvGuard(char const* name, char const* value) : name_(name)
{
    char const* old = getenv(name);
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

inline EnvGuard::~EnvGuard()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

inline std::string readWhole(std::string const& path)
{
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline double secondsSince(double start)
{
    return nowSeconds() - start;
}

} // namespace sectest

#endif
