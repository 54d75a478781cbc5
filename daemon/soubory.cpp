#include "soubory.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int otevripopisovac(const char *cesta, bool pripisovat) {
    // O_NONBLOCK: an open of a FIFO returns at once (for writing, it fails
    // while nobody reads it); the file is then refused unless it is of a
    // kind taken.
    int priznaky = (pripisovat ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    int fd = open(cesta, priznaky, 0666);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || (pripisovat && S_ISCHR(st.st_mode)))) {
        close(fd);
        errno = ENXIO;
        return -1;
    }
    return fd;
}

FILE *otevrisoubor(const char *cesta, bool pripisovat) {
    int fd = otevripopisovac(cesta, pripisovat);
    if (fd < 0)
        return nullptr;
    FILE *f = fdopen(fd, pripisovat ? "a" : "r");
    if (!f)
        close(fd);
    return f;
}

bool zapisvse(int fd, std::string_view text) {
    for (std::size_t hotovo = 0; hotovo < text.size();) {
        ssize_t n = write(fd, text.data() + hotovo, text.size() - hotovo);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        hotovo += static_cast<std::size_t>(n);
    }
    return true;
}
