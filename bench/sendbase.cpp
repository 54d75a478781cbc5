// The punctuality baseline: the least a program can do to send a datagram at
// an instant. For each cycle it sleeps to 10k + 5.5 s + 20 ms x slot with one
// absolute clock_nanosleep and sends one 6-byte datagram to port 15151 of
// 127.0.1.(2 + slot), like the daemon's time sender five seconds out of phase.
//
// bench_sendbase CYCLES SLOTS
#include "porty.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    int cycles = std::atoi(argv[1]), slots = std::atoi(argv[2]);
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    for (int c = 0; c < cycles; ++c) {
        std::timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::time_t base = now.tv_sec - now.tv_sec % 10 + 5;
        if (now.tv_sec % 10 >= 5)
            base += 10;
        for (int i = 0; i < slots; ++i) {
            long ns = 500000000L + 20000000L * i;
            std::timespec at{base + ns / 1000000000L, ns % 1000000000L};
            clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr);
            std::uint8_t d[6] = {2, 0, 0, 0, 0, 0};
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(portmodulu);
            to.sin_addr.s_addr = htonl(0x7F000102u + static_cast<std::uint32_t>(i));
            sendto(s, d, sizeof d, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        }
    }
    return 0;
}
