#include "log.hpp"

#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::mutex pisudologu;

namespace {

// Opens the log for one entry and writes the prefix if wanted; the caller
// holds pisudologu. Closing the stream flushes the whole entry at once.
otevrenysoubor otevri(bool sprefixem) {
    otevrenysoubor f(otevrisoubor(cestalogu, true));
    if (f && sprefixem)
        casdologu(f.get());
    return f;
}

} // namespace

FILE *otevrisoubor(const char *cesta, bool pripisovat) {
    // O_NONBLOCK: an open of a FIFO returns at once (for writing, it fails
    // while nobody reads it); the file is then refused unless regular.
    int priznaky = (pripisovat ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    int fd = open(cesta, priznaky, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = ENXIO;
        return nullptr;
    }
    FILE *f = fdopen(fd, pripisovat ? "a" : "r");
    if (!f)
        close(fd);
    return f;
}

prefixlogu vytvorprefix(const std::tm &t) {
    prefixlogu p{};
    std::snprintf(p.text, sizeof p.text, "%02d.%02d.%4d %02d:%02d:%02d : ", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return p;
}

int casdologu(FILE *stream) {
    std::time_t ted = std::time(nullptr);
    std::tm t{};
    localtime_r(&ted, &t); // the receive thread converts times at the same moment
    return std::fprintf(stream, "%s", vytvorprefix(t).text);
}

void zapisdologu(bool sprefixem, const char *text) {
    std::lock_guard zamek(pisudologu);
    if (otevrenysoubor f = otevri(sprefixem))
        std::fputs(text, f.get());
}

void zapisdologu(bool sprefixem, char znak) {
    std::lock_guard zamek(pisudologu);
    if (otevrenysoubor f = otevri(sprefixem))
        std::fputc(znak, f.get());
}

void zapisdologuf(bool sprefixem, const char *format, ...) {
    std::lock_guard zamek(pisudologu);
    if (otevrenysoubor f = otevri(sprefixem)) {
        va_list args;
        va_start(args, format);
        std::vfprintf(f.get(), format, args);
        va_end(args);
    }
}
