#include "zarizeni.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

static_assert(sizeof(sockaddr_un) == delkaadresy, "the board's local-socket address is 110 bytes");
static_assert(sizeof(zaznamkanalu::jmeno) == 24);

const std::array<zaznamkanalu, 2> cimreguluji{{
    {"Jidelna", 16},
    {"Hosti", 15},
}};

const std::array<zaznamkanalu, 15> radiatory{{
    {"R-Koupel ", 0},
    {"R-Hor.Ch.", 1},
    {"Kot U22  ", 2},
    {"R-Hor.z  ", 3},
    {"R-Stryc  ", 4},
    {"R-Sal    ", 5},
    {"R-Jidelna", 6},
    {"R-D.loz. ", 7},
    {"R-Hosti  ", 8},
    {"R-Spr.k  ", 9},
    {"R-Dol.Z  ", 10},
    {"R-Dol.Ch.", 11},
    {"R-Kuchyn ", 12},
    {"R-zpateck", 13},
    {"R-stoupac", 14},
}};

namespace {

// The client's one socket, closed on every way out.
struct deskriptor {
    int fd;
    explicit deskriptor(int f) : fd(f) {}
    deskriptor(const deskriptor &) = delete;
    deskriptor &operator=(const deskriptor &) = delete;
    ~deskriptor() { zavri(); }
    void zavri() {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
};

void tisk(const konzole &text) {
    std::fwrite(text.znaky.data(), 1, text.delka, stdout);
}

// Writes the whole message: a short write is completed, and a peer that has
// gone away gives EPIPE instead of killing the client with SIGPIPE.
bool zapisvse(int fd, const zprava &z) {
    std::size_t hotovo = 0;
    while (hotovo < z.size()) {
        ssize_t n = send(fd, z.data() + hotovo, z.size() - hotovo, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        hotovo += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int provedprikaz(const prikaz &p) {
    tisk(p.vypis);
    if (p.konec)
        return *p.konec;

    deskriptor s(socket(AF_UNIX, SOCK_STREAM, 0));
    if (s.fd < 0) {
        std::puts("nelze otevrit socket AF_UNIX  -  koncim ");
        return 1;
    }
    // The send time-out bounds the wait of a local stream connect for a
    // place in the server's queue (it fails with EAGAIN then), and the
    // write too, should the message not fit the socket's buffer.
    const timeval limit{cekanisec, 0};
    setsockopt(s.fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_un adresa{};
    adresa.sun_family = AF_UNIX;
    std::memcpy(adresa.sun_path, cestasocketu, std::strlen(cestasocketu) + 1);
    if (connect(s.fd, reinterpret_cast<const sockaddr *>(&adresa), delkaadresy) != 0) {
        int chyba = errno;
        std::printf("Nepodarilo se pripojit k socketu %s errno je %d  -  koncim \n ", cestasocketu,
                    chyba);
        return 2;
    }
    std::fputs(p.popripojeni, stdout);
    if (!zapisvse(s.fd, p.data)) {
        int chyba = errno;
        std::printf("Nepodarilo se zapsat do socketu %s errno je %d  -  koncim \n ", cestasocketu,
                    chyba);
        return 3;
    }
    s.zavri();
    std::fputs(p.zaver, stdout);
    return 0;
}

namespace {

void vpripis(konzole &text, const char *format, va_list args) __attribute__((format(printf, 2, 0)));

void vpripis(konzole &text, const char *format, va_list args) {
    // Room for the characters that may still come and vsnprintf's NUL.
    std::size_t misto = text.znaky.size() - text.delka;
    int delka = std::vsnprintf(text.znaky.data() + text.delka, misto, format, args);
    if (delka > 0)
        text.delka += std::min(static_cast<std::size_t>(delka), misto - 1);
}

} // namespace

void pripis(konzole &text, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vpripis(text, format, args);
    va_end(args);
}

prikaz &konci(prikaz &p, int status, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vpripis(p.vypis, format, args);
    va_end(args);
    p.konec = status;
    return p;
}

std::string_view prvnichdevet(const char *slovo) {
    return {slovo, strnlen(slovo, 9)};
}

long long ctidevet(const char *slovo, int zaklad) {
    std::array<char, 10> devet{};
    std::string_view s = prvnichdevet(slovo);
    std::copy(s.begin(), s.end(), devet.begin());
    return std::strtoll(devet.data(), nullptr, zaklad);
}

int cislokotle(prikaz &p, const char *slovo, int nejvic) {
    // Nine decimal characters lie within an int.
    int cislo = static_cast<int>(ctidevet(slovo, 10));
    pripis(p.vypis, " prectena pozadovana teplota  %d stupnu Celsia \n", cislo);
    if (cislo < 0)
        konci(p, 1, "zaporne nelze - konec \n");
    else if (cislo > nejvic)
        konci(p, 1, "moc velke -  konec \n");
    return cislo;
}

bool pridejslova(zprava &z, argumenty slova, std::size_t limit) {
    for (const char *slovo : slova) {
        std::size_t delka = std::strlen(slovo);
        if (z.size() + delka > limit || !z.pridej(std::string_view(slovo, delka)) || !z.pridej(' '))
            return false;
    }
    return true;
}

namespace {

// 'P' and the number field: the first nine characters, blank-padded.
void hlavickasms(zprava &z, std::string_view cislo) {
    z = {prikazsms};
    for (std::size_t i = 0; i < 9; ++i)
        z.pridej(i < cislo.size() ? static_cast<std::uint8_t>(cislo[i]) : ' ');
}

} // namespace

bool zpravasms(zprava &z, std::string_view cislo, argumenty slova) {
    hlavickasms(z, cislo);
    z.pridej(0x00);
    return pridejslova(z, slova, limitsms);
}

bool zpravasmsprepsana(zprava &z, std::string_view cislo, argumenty slova) {
    hlavickasms(z, cislo);
    bool cele = pridejslova(z, slova, limitsms);
    if (z.size() > 10)
        z[10] = 0x00; // the typed first character of the text gives way to the terminator
    return cele;
}

zprava zpravatestsms() {
    return {prikaztestsms};
}

bool zpravaradku(zprava &z, std::uint8_t lead, std::uint8_t konstanta, std::size_t limit,
                 argumenty slova) {
    // Two blanks hold the places of n and the constant; they count in the
    // length that the word rule looks at.
    z = {lead, ' ', ' '};
    bool cele = pridejslova(z, slova, limit);
    if (z.size() == 3)
        z.pridej(' '); // empty text: only the closing 0x00, counted in n
    z[1] = static_cast<std::uint8_t>(z.size() - 3);
    z[2] = konstanta;
    z.back() = 0x00;
    return cele;
}

zprava zpravakotle(std::uint8_t hodnota) {
    return {prikazdisplejekotle, 0x02, konstkotle, hodnota};
}

zprava zpravalogu(std::int32_t uroven) {
    auto u = static_cast<std::uint32_t>(uroven);
    return {prikazlogu, static_cast<std::uint8_t>(u & 0xFF),
            static_cast<std::uint8_t>((u >> 8) & 0xFF)};
}
