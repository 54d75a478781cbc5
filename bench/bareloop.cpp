// The receive-capacity baseline: a bare recvfrom loop on the daemon's port.
// It counts datagrams until none has come for a second and prints the count.
// Its receive buffer is the daemon's (4 MiB), so that the two compare in
// handling, not in buffering.
#include "porty.h"

#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

int main() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_port = htons(portdemona);
    me.sin_addr.s_addr = htonl(INADDR_ANY);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr *>(&me), sizeof me) != 0)
        return 1;
    int buffer = 4 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
    std::puts("ready");
    std::fflush(stdout);
    timeval idle{1, 0};
    long count = 0;
    unsigned char buf[1000];
    // Wait without limit for the first datagram, then until a quiet second.
    while (recvfrom(s, buf, sizeof buf, 0, nullptr, nullptr) >= 0) {
        if (count++ == 0)
            setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
    }
    std::printf("%ld\n", count);
    return 0;
}
