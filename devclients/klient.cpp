// The main of every client: KLIENT names the program's function of klienti.hpp.
#include "klienti.hpp"

int main(int argc, char **argv) {
    const char *const *slova = argv + 1;
    return provedprikaz(
        KLIENT(argumenty(slova, argc > 1 ? static_cast<std::size_t>(argc - 1) : 0)));
}
