#include "log.hpp"

#include "hodiny.hpp"
#include "priorita.hpp"
#include "pripis.hpp"
#include "soubory.hpp"
#include "vlakna.hpp"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <unistd.h>

std::mutex pisudologu;

namespace {

// What an entry takes beside its text, counted against nejvicevlogu.
constexpr std::size_t rezie = sizeof(zaznam);

// The writer and the threads that make entries. Made once and never
// destroyed: the writer may still be inside a write to a disk that does not
// answer when the process exits.
struct pisarlogu {
    zamekpi zamek;
    std::condition_variable_any prace, hotovo;
    frontalogu fronta;
    bool pise = false;       // an entry taken and not yet written
    std::int64_t piseod = 0; // when that one was made
    int zkouska = -1;        // the probe's error number, 0 opened, -1 not yet
};
std::atomic<pisarlogu *> pisar{nullptr};

// Writes the entry; the caller holds pisudologu. The prefix and the message
// go in one write. The results of the write and the close are not looked at:
// a write that fails loses that entry.
void zapis(const zaznam &z) {
    std::string text;
    if (z.sprefixem) {
        std::tm t{};
        localtime_r(&z.cas, &t); // the receive thread converts times at the same moment
        text = vytvorprefix(t).text;
    }
    text += z.text;
    int fd = otevripopisovac(cestalogu, true);
    if (fd < 0)
        return;
    zapisvse(fd, text);
    close(fd);
}

void predej(bool sprefixem, std::string text) {
    pisarlogu *p = pisar;
    if (!p) {
        // No writer: the entry is written now, its time read under the lock
        // like the writer's, so that the prefixes never go backwards.
        std::lock_guard zamek(pisudologu);
        zapis({sprefixem, std::time(nullptr), 0, std::move(text)});
        return;
    }
    {
        std::lock_guard zamek(p->zamek);
        zarad(p->fronta, {sprefixem, std::time(nullptr), monotonnims(), std::move(text)});
    }
    p->prace.notify_one();
}

void *pislog(void *) {
    pisarlogu &p = *pisar;
    int fd = otevripopisovac(cestalogu, true);
    int chyba = fd < 0 ? errno : 0;
    if (fd >= 0)
        close(fd);
    std::unique_lock zamek(p.zamek);
    p.zkouska = chyba;
    for (;;) {
        p.pise = false;
        p.hotovo.notify_all();
        p.prace.wait(zamek, [&p] { return !p.fronta.zaznamy.empty() || p.fronta.ztraceno > 0; });
        std::optional<zaznam> z = vyjmi(p.fronta, std::time(nullptr), monotonnims());
        p.pise = true;
        p.piseod = z->vytvoren;
        zamek.unlock();
        {
            std::lock_guard log(pisudologu);
            zapis(*z);
        }
        zamek.lock();
    }
}

} // namespace

prefixlogu vytvorprefix(const std::tm &t) {
    prefixlogu p{};
    std::snprintf(p.text, sizeof p.text, "%02d.%02d.%4d %02d:%02d:%02d : ", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return p;
}

void zapisdologu(bool sprefixem, const char *text) {
    predej(sprefixem, text);
}

void zapisdologu(bool sprefixem, char znak) {
    predej(sprefixem, std::string(1, znak));
}

void zapisdologuf(bool sprefixem, const char *format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vpripisf(text, format, args);
    va_end(args);
    predej(sprefixem, std::move(text));
}

void zarad(frontalogu &f, zaznam z) {
    if (f.bajtu + z.text.size() + rezie > nejvicevlogu) {
        ++f.ztraceno;
        ++f.ztracenocelkem;
        return;
    }
    if (f.ztraceno > 0) {
        zaznam souhrn{true, z.cas, z.vytvoren, textztracenych(f.ztraceno)};
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
    zaznam souhrn{true, cas, ms, textztracenych(f.ztraceno)};
    f.ztraceno = 0;
    return souhrn;
}

std::string textztracenych(unsigned long pocet) {
    std::string text;
    pripisf(text, "Disk s logem neodpovidal - do logu nezapsano %lu zaznamu \n", pocet);
    return text;
}

void pustlog() {
    pisar = new pisarlogu;
    if (!pustvlakno(pislog, "log"))
        pisar = nullptr; // each thread writes its entries itself, as overkal does
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
    p->hotovo.wait_for(zamek, limit, [p] {
        return p->fronta.zaznamy.empty() && p->fronta.ztraceno == 0 && !p->pise;
    });
}

stavlogu jakjelog() {
    stavlogu s;
    pisarlogu *p = pisar;
    if (!p)
        return s;
    std::lock_guard zamek(p->zamek);
    s.cekajicich = p->fronta.zaznamy.size() + (p->pise ? 1 : 0);
    if (p->pise)
        s.nejstarsi = p->piseod;
    else if (!p->fronta.zaznamy.empty())
        s.nejstarsi = p->fronta.zaznamy.front().vytvoren;
    s.ztraceno = p->fronta.ztracenocelkem;
    return s;
}
