#include "konzole.hpp"

#include "hodiny.hpp"
#include "kruh.hpp"
#include "pripis.hpp"
#include "soubory.hpp"
#include "vlakna.hpp"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Text waiting for the writer: the bursts of a datagram flood fit, a console
// that stops reading costs at most this much memory (the time sender's ring
// included).
constexpr std::size_t nejvicecekajiciho = 1 << 20;
constexpr std::size_t velikostkruhu = 4 << 10; // the time sender's: a line every 10 s
// A console that has taken nothing for this long is not read at all (a pipe
// nobody reads, a terminal held for good): what waits for it is dropped, and
// nothing waits until it takes text again, so that it holds no memory.
constexpr std::int64_t nectenakonzolems = 10000;

// The text of one call, with its place among the calls of every thread.
struct kus {
    std::uint64_t poradi;
    std::string text;
};

struct fronta {
    std::mutex zamek; // the queue's; the time sender never takes it
    std::condition_variable hotovo;
    std::deque<kus> cekajici;
    std::size_t bajtu = 0;
    kruh vysilace{velikostkruhu}; // the time sender's text
    int budik = -1;               // eventfd: text is waiting
    bool pise = false;
    std::atomic<std::int64_t> piseod{0}; // when the writer took its text (ms), 0 not writing
};

// Made once and never destroyed: the writer may still be inside a write
// that never returns when the process exits.
fronta *konz = nullptr;
std::atomic<bool> bezi{false};
std::atomic<std::uint64_t> poradi{0};
thread_local kruh *mujkruh = nullptr;

void vzbud() {
    std::uint64_t jedna = 1;
    // Never blocks; a counter that is full has woken the writer already.
    [[maybe_unused]] ssize_t n = write(konz->budik, &jedna, sizeof jedna);
}

bool nectena() {
    std::int64_t od = konz->piseod;
    return od != 0 && monotonnims() - od > nectenakonzolems;
}

// The next text in the order of the calls, from the time sender's ring or
// the other threads' queue, appended to `pisu`; the caller holds the lock.
// False when none can be taken now (see vezmi in log.cpp).
bool vezmi(fronta &f, std::string &pisu) {
    bool vyrabi = f.vysilace.vyrabi;
    hlavickakruhu h;
    bool mavkruhu = nahledni(f.vysilace, h);
    bool vefronte = !f.cekajici.empty();
    if (mavkruhu && (!vefronte || h.poradi < f.cekajici.front().poradi)) {
        vyjmi(f.vysilace, h, pisu);
        return true;
    }
    if (!vefronte || (vyrabi && !mavkruhu))
        return false;
    pisu += f.cekajici.front().text;
    f.bajtu -= f.cekajici.front().text.size();
    f.cekajici.pop_front();
    return true;
}

void *pisar(void *) {
    std::string pisu;
    for (;;) {
        {
            std::lock_guard z(konz->zamek);
            while (vezmi(*konz, pisu)) {
            }
            konz->pise = !pisu.empty();
            konz->piseod = konz->pise ? monotonnims() : 0;
        }
        if (pisu.empty()) {
            konz->hotovo.notify_all();
            pollfd pf{konz->budik, POLLIN, 0};
            poll(&pf, 1, 1000);
            std::uint64_t kolik = 0;
            [[maybe_unused]] ssize_t n = read(konz->budik, &kolik, sizeof kolik);
            continue;
        }
        zapisvse(STDOUT_FILENO, pisu); // closed or full: the text is dropped
        pisu.clear();
        {
            std::lock_guard z(konz->zamek);
            konz->pise = false;
            konz->piseod = 0;
        }
    }
}

// The time sender's text, into its ring: no lock, no allocation.
void dokruhu(kruh &k, std::string_view text) {
    if (nectena())
        return;
    hlavickakruhu h{};
    h.delka = static_cast<std::uint32_t>(text.size());
    k.vyrabi = true;
    h.poradi = poradi.fetch_add(1);
    vloz(k, h, text.data()); // what does not fit is dropped
    k.vyrabi = false;
    vzbud();
}

} // namespace

void konzole(std::string_view text) {
    if (!bezi) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    if (mujkruh) {
        dokruhu(*mujkruh, text);
        return;
    }
    {
        std::lock_guard z(konz->zamek);
        if (nectena()) {
            std::deque<kus>().swap(konz->cekajici); // its memory back
            konz->bajtu = 0;
            return;
        }
        if (konz->bajtu + text.size() > nejvicecekajiciho - velikostkruhu)
            return;
        konz->cekajici.push_back({poradi.fetch_add(1), std::string(text)});
        konz->bajtu += text.size();
    }
    vzbud();
}

void konzolef(const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (mujkruh && bezi) {
        char text[512]; // the time sender's line; a longer one is dropped
        int n = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (n >= 0 && static_cast<std::size_t>(n) < sizeof text)
            konzole({text, static_cast<std::size_t>(n)});
        return;
    }
    std::string text;
    vpripisf(text, format, args);
    va_end(args);
    konzole(text);
}

bool pustkonzoli() {
    std::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    konz = new fronta;
    konz->budik = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bezi = konz->budik >= 0 && pustvlakno(pisar, "konzole");
    return bezi;
}

void pouzijkruhkonzole() {
    if (bezi)
        mujkruh = &konz->vysilace;
}

void dopiskonzoli(std::chrono::milliseconds limit) {
    if (!bezi) {
        std::fflush(stdout);
        return;
    }
    std::unique_lock z(konz->zamek);
    konz->hotovo.wait_for(z, limit, [] {
        return konz->cekajici.empty() && !konz->pise && vkruhu(konz->vysilace) == 0;
    });
}
