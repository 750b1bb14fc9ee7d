// bare_station: the viewer port's turns and nothing else, the floor that
// bench_viewers compares the station with. It listens on
// KLIMAWARTE_VIEWER_PORT and gives every connection a thread of its own,
// which sends a message of 24 texts ("<ANFANG>", a time, 22 numbers) at every
// new measurement time (every 1800 ms), each text answered by the viewer
// before the next goes. Blocking send and recv, no shared data, no window.
// Ends when KLIMAWARTE_SERVICE_DIR/CONTROL says SHUTDOWN.
//
//   bench_viewers 20 100 build/tools/bench_viewers/bare_station

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex mutex;
std::condition_variable changed;
long long measureCount = 0;

void serve(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    long long sent = -1;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return measureCount != sent; });
            sent = measureCount;
        }
        for (int index = 0; index < 24; ++index) {
            const std::string text = index == 0   ? std::string("<ANFANG>")
                                     : index == 1 ? "11.12.2026 00:00:" + std::to_string(sent)
                                                  : std::to_string(index * 7);
            char answer[64];
            if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()) ||
                recv(fd, answer, sizeof answer, 0) <= 0) {
                close(fd);
                return;
            }
        }
    }
}

bool shutdownAsked(const std::string &control)
{
    std::ifstream in(control, std::ios::binary);
    std::string word;
    return std::getline(in, word, '\0') && word == "SHUTDOWN";
}

} // namespace

int main()
{
    const char *portText = std::getenv("KLIMAWARTE_VIEWER_PORT");
    const char *serviceDir = std::getenv("KLIMAWARTE_SERVICE_DIR");
    const int port = portText ? std::atoi(portText) : 2002;
    const std::string control = std::string(serviceDir ? serviceDir : ".") + "/CONTROL";

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(listener, 256) != 0) {
        std::perror("bare_station");
        return 1;
    }
    std::thread([control] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1800));
            if (shutdownAsked(control))
                std::_Exit(0);
            {
                std::lock_guard lock(mutex);
                ++measureCount;
            }
            changed.notify_all();
        }
    }).detach();
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd >= 0)
            std::thread(serve, fd).detach();
    }
}
