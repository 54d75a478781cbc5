#include "hodiny.hpp"

std::timespec ctihodiny(clockid_t hodiny) {
    std::timespec t{};
    clock_gettime(hodiny, &t);
    return t;
}

std::int64_t monotonnims() {
    return nanosekundy(ctihodiny(CLOCK_MONOTONIC)) / 1000000;
}
