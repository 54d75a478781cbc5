#include "rozvrh.hpp"

#include "hodiny.hpp"

#include <algorithm>

namespace {

constexpr long long desetsekund = 10 * miliarda;
constexpr long long pulsekundy = miliarda / 2;

// The start of the ten seconds that hold the instant (also before 1970).
long long desitka(long long ns) {
    long long d = ns / desetsekund * desetsekund;
    return d > ns ? d - desetsekund : d;
}

} // namespace

std::timespec casodeslani(std::time_t sekundy) {
    return {sekundy - sekundy % 10 + 10, 500000000};
}

std::timespec planujodeslani(std::timespec ted, long long odposledniho) {
    if (odposledniho < 0)
        return casodeslani(ted.tv_sec);
    long long nyni = nanosekundy(ted);
    long long poposlednim = desitka(nyni - odposledniho) + desetsekund;
    // The first ten whose x0.5 has not yet passed by half a second.
    long long nejdrive = desitka(nyni - miliarda) + desetsekund;
    return zns(std::max(poposlednim, nejdrive) + pulsekundy);
}

std::timespec pristipulsekunda(std::time_t sekundy, long mikrosekundy) {
    return {mikrosekundy <= 500000 ? sekundy : sekundy + 1, 500000000};
}

std::timespec okamzikslotu(std::timespec kotva, int i, std::timespec ted) {
    constexpr long long rozestup = 20000000;         // 20 ms between the modules of one cycle
    constexpr long long nejmensirozestup = 10000000; // and never less than 10 ms
    return zns(
        std::max(nanosekundy(kotva) + rozestup * (i + 1), nanosekundy(ted) + nejmensirozestup));
}

std::timespec kotvacyklu(std::timespec cil, std::timespec ted, std::timespec probuzeni) {
    return zns(nanosekundy(probuzeni) - std::clamp(nsmezi(cil, ted), 0LL, pulsekundy));
}
