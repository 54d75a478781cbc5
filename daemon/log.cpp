#include "log.hpp"

#include "hodiny.hpp"
#include "kruh.hpp"
#include "pripis.hpp"
#include "soubory.hpp"
#include "vlakna.hpp"

#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

std::mutex pisudologu;

namespace {

// What an entry takes beside its text, counted against nejvicevlogu.
constexpr std::size_t rezie = sizeof(zaznam);
// The queue of the other threads: what the time sender's ring leaves.
constexpr std::size_t nejvicevefronte = nejvicevlogu - velikostkruhulogu;
// How often an entry that the file system refused is tried again.
constexpr int opakovanims = 1000;
// The summary's format, for textztracenych and the time sender's ring.
constexpr const char *formatztracenych =
    "Disk s logem neodpovidal - do logu nezapsano %lu zaznamu \n";

// The writer and the threads that make entries. Made once and never
// destroyed: the writer may still be inside a write to a disk that does not
// answer when the process exits.
struct pisarlogu {
    std::mutex zamek; // the queue's; the time sender never takes it
    std::condition_variable hotovo;
    frontalogu fronta;
    kruh vysilace{velikostkruhulogu}; // the time sender's entries
    int budik = -1;                   // eventfd: an entry is waiting
    bool pise = false;                // an entry taken and not yet written
    std::int64_t piseod = 0;          // when that one was made
    int zkouska = -1;                 // the probe's error number, 0 opened, -1 not yet
    int chyba = 0;                    // the last refusal's error number, 0 taken
};
std::atomic<pisarlogu *> pisar{nullptr};
// The place of each entry among the entries of every thread.
std::atomic<std::uint64_t> poradi{0};
// The ring of the calling thread, when it has one.
thread_local kruh *mujkruh = nullptr;

void vzbud(int budik) {
    std::uint64_t jedna = 1;
    // Never blocks; a counter that is full has woken the writer already.
    [[maybe_unused]] ssize_t n = write(budik, &jedna, sizeof jedna);
}

std::string celytext(const zaznam &z) {
    std::string text;
    if (z.sprefixem) {
        std::tm t{};
        localtime_r(&z.cas, &t); // the receive thread converts times at the same moment
        text = vytvorprefix(t).text;
    }
    return text + z.text;
}

// Writes the entry's text from byte `hotovo` on; the caller holds
// pisudologu. 0 when the file has all of it, else the error number of the
// open, write or close that failed; `hotovo` counts what the file took, so
// that the next attempt writes the rest and never the whole again. A close
// that fails takes back what this attempt wrote.
int zapis(const std::string &text, std::size_t &hotovo) {
    int fd = otevripopisovac(cestalogu, true);
    if (fd < 0)
        return errno;
    std::size_t pred = hotovo;
    int chyba = 0;
    while (hotovo < text.size() && chyba == 0) {
        ssize_t n = write(fd, text.data() + hotovo, text.size() - hotovo);
        if (n > 0)
            hotovo += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            chyba = n == 0 ? EIO : errno;
    }
    if (close(fd) != 0 && chyba == 0) {
        chyba = errno;
        hotovo = pred;
    }
    return chyba;
}

// The time sender's entry, into its ring: no lock, no allocation. After
// losses their summary goes first, made at the same moment.
void dokruhu(pisarlogu &p, bool sprefixem, const char *text, std::size_t n) {
    kruh &k = p.vysilace;
    hlavickakruhu h{0, std::time(nullptr), monotonnims(), static_cast<std::uint32_t>(n), sprefixem};
    k.vyrabi = true;
    h.poradi = poradi.fetch_add(1);
    bool vejde = true;
    if (std::uint64_t ztraceno = k.ztraceno; ztraceno > 0) {
        char souhrn[96];
        hlavickakruhu hs = h;
        hs.sprefixem = 1;
        hs.delka = static_cast<std::uint32_t>(std::snprintf(souhrn, sizeof souhrn, formatztracenych,
                                                            static_cast<unsigned long>(ztraceno)));
        vejde = vloz(k, hs, souhrn);
        if (vejde)
            k.ztraceno = 0;
    }
    if (!vejde || !vloz(k, h, text)) {
        ++k.ztraceno;
        ++k.ztracenocelkem;
    }
    k.vyrabi = false;
    vzbud(p.budik);
}

void predej(bool sprefixem, const char *text, std::size_t n) {
    pisarlogu *p = pisar;
    if (!p) {
        // No writer: the entry is written now, its time read under the lock
        // like the writer's, so that the prefixes never go backwards.
        std::lock_guard zamek(pisudologu);
        std::size_t hotovo = 0;
        zapis(celytext({sprefixem, std::time(nullptr), 0, std::string(text, n)}), hotovo);
        return;
    }
    if (mujkruh) {
        dokruhu(*p, sprefixem, text, n);
        return;
    }
    {
        std::lock_guard zamek(p->zamek);
        zaznam z{sprefixem, std::time(nullptr), monotonnims(), std::string(text, n)};
        z.poradi = poradi.fetch_add(1); // under the lock: the queue stays in order
        zarad(p->fronta, std::move(z));
    }
    vzbud(p->budik);
}

// The next entry in the order the entries were made, from the time sender's
// ring or the other threads' queue; the caller holds the queue's lock. False
// when none can be taken now: none waits, or the queue's first may come
// after the one the time sender is making (it wakes the writer when done).
bool vezmi(pisarlogu &p, zaznam &z) {
    kruh &k = p.vysilace;
    bool vyrabi = k.vyrabi; // before the look into the ring
    hlavickakruhu h;
    bool mavkruhu = nahledni(k, h);
    frontalogu &f = p.fronta;
    bool vefronte = !f.zaznamy.empty() || f.ztraceno > 0;
    std::uint64_t prvni = f.zaznamy.empty() ? f.poradiztraty : f.zaznamy.front().poradi;
    if (mavkruhu && (!vefronte || h.poradi < prvni)) {
        z = {h.sprefixem != 0, static_cast<std::time_t>(h.cas), h.vytvoren, {}, h.poradi};
        vyjmi(k, h, z.text);
        return true;
    }
    if (!vefronte || (vyrabi && !mavkruhu))
        return false;
    z = *vyjmi(f, std::time(nullptr), monotonnims());
    return true;
}

// Writes the entry, trying again every second while the file system refuses
// it; the state file shows it waiting and the refusal's error number.
void pis(pisarlogu &p, const zaznam &z) {
    const std::string text = celytext(z);
    std::size_t hotovo = 0;
    for (;;) {
        int chyba = 0;
        {
            std::lock_guard log(pisudologu);
            chyba = zapis(text, hotovo);
        }
        {
            std::lock_guard zamek(p.zamek);
            p.chyba = chyba;
        }
        if (chyba == 0)
            return;
        poll(nullptr, 0, opakovanims);
    }
}

// Waits until an entry is handed over, or a second has passed.
void cekejnazaznam(int budik) {
    pollfd pf{budik, POLLIN, 0};
    poll(&pf, 1, opakovanims);
    std::uint64_t kolik = 0;
    [[maybe_unused]] ssize_t n = read(budik, &kolik, sizeof kolik);
}

void *pislog(void *) {
    pisarlogu &p = *pisar;
    int fd = otevripopisovac(cestalogu, true);
    int chyba = fd < 0 ? errno : 0;
    if (fd >= 0)
        close(fd);
    {
        std::lock_guard zamek(p.zamek);
        p.zkouska = chyba;
    }
    for (;;) {
        zaznam z;
        bool mam = false;
        {
            std::lock_guard zamek(p.zamek);
            mam = vezmi(p, z);
            p.pise = mam;
            p.piseod = z.vytvoren;
        }
        p.hotovo.notify_all();
        if (!mam) {
            cekejnazaznam(p.budik);
            continue;
        }
        pis(p, z);
        {
            std::lock_guard zamek(p.zamek);
            p.pise = false;
        }
    }
}

// Nothing waits for the writer; the caller holds the queue's lock.
bool vsezapsano(const pisarlogu &p) {
    return p.fronta.zaznamy.empty() && p.fronta.ztraceno == 0 && !p.pise && vkruhu(p.vysilace) == 0;
}

} // namespace

prefixlogu vytvorprefix(const std::tm &t) {
    prefixlogu p{};
    std::snprintf(p.text, sizeof p.text, "%02d.%02d.%4d %02d:%02d:%02d : ", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return p;
}

void zapisdologu(bool sprefixem, const char *text) {
    predej(sprefixem, text, std::strlen(text));
}

void zapisdologu(bool sprefixem, char znak) {
    predej(sprefixem, &znak, 1);
}

void zapisdologuf(bool sprefixem, const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (mujkruh && pisar) {
        // The time sender's texts are short; one that is not is lost and
        // counted, as one that does not fit its ring.
        char text[512];
        int n = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (n >= 0 && static_cast<std::size_t>(n) < sizeof text)
            predej(sprefixem, text, static_cast<std::size_t>(n));
        else {
            ++mujkruh->ztraceno;
            ++mujkruh->ztracenocelkem;
        }
        return;
    }
    std::string text;
    vpripisf(text, format, args);
    va_end(args);
    predej(sprefixem, text.data(), text.size());
}

void zarad(frontalogu &f, zaznam z) {
    if (f.bajtu + z.text.size() + rezie > nejvicevefronte) {
        ++f.ztraceno;
        ++f.ztracenocelkem;
        f.poradiztraty = z.poradi;
        return;
    }
    if (f.ztraceno > 0) {
        zaznam souhrn{true, z.cas, z.vytvoren, textztracenych(f.ztraceno), z.poradi};
        f.ztraceno = 0;
        f.bajtu += souhrn.text.size() + rezie;
        f.zaznamy.push_back(std::move(souhrn));
    }
    f.bajtu += z.text.size() + rezie;
    f.zaznamy.push_back(std::move(z));
}

std::optional<zaznam> vyjmi(frontalogu &f, std::time_t cas, std::int64_t ms) {
    if (!f.zaznamy.empty()) {
        zaznam z = std::move(f.zaznamy.front());
        f.zaznamy.pop_front();
        f.bajtu -= z.text.size() + rezie;
        return z;
    }
    if (f.ztraceno == 0)
        return std::nullopt;
    zaznam souhrn{true, cas, ms, textztracenych(f.ztraceno), f.poradiztraty};
    f.ztraceno = 0;
    return souhrn;
}

std::string textztracenych(unsigned long pocet) {
    std::string text;
    pripisf(text, formatztracenych, pocet);
    return text;
}

bool pustlog() {
    auto *p = new pisarlogu;
    p->budik = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (p->budik < 0)
        return false;
    pisar = p;
    if (!pustvlakno(pislog, "log")) {
        pisar = nullptr; // each thread writes its entries itself, as overkal does
        return false;
    }
    return true;
}

void pouzijkruhlogu() {
    if (pisarlogu *p = pisar)
        mujkruh = &p->vysilace;
}

int zkouskalogu(std::chrono::milliseconds limit) {
    pisarlogu *p = pisar;
    if (!p) {
        int fd = otevripopisovac(cestalogu, true);
        if (fd < 0)
            return errno;
        close(fd);
        return 0;
    }
    std::unique_lock zamek(p->zamek);
    p->hotovo.wait_for(zamek, limit, [p] { return p->zkouska >= 0; });
    return p->zkouska > 0 ? p->zkouska : 0;
}

void dopislog(std::chrono::milliseconds limit) {
    pisarlogu *p = pisar;
    if (!p)
        return;
    std::unique_lock zamek(p->zamek);
    p->hotovo.wait_for(zamek, limit, [p] { return vsezapsano(*p); });
}

stavlogu jakjelog() {
    stavlogu s;
    pisarlogu *p = pisar;
    if (!p)
        return s;
    std::lock_guard zamek(p->zamek);
    hlavickakruhu h;
    bool mavkruhu = nahledni(p->vysilace, h);
    s.cekajicich = p->fronta.zaznamy.size() + vkruhu(p->vysilace) + (p->pise ? 1 : 0);
    if (p->pise)
        s.nejstarsi = p->piseod;
    else {
        if (!p->fronta.zaznamy.empty())
            s.nejstarsi = p->fronta.zaznamy.front().vytvoren;
        if (mavkruhu && (s.nejstarsi == 0 || h.vytvoren < s.nejstarsi))
            s.nejstarsi = h.vytvoren;
    }
    s.ztraceno = p->fronta.ztracenocelkem + p->vysilace.ztracenocelkem;
    s.chyba = p->chyba;
    return s;
}
