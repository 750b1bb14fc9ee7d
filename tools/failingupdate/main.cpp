// A station update that passes the header check (a program for this
// machine) but cannot run: it ends on its own a second after its start with
// status 255, as a program whose main returns -1 does.
#include <chrono>
#include <thread>

int main()
{
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return -1;
}
