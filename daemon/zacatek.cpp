#include "zacatek.hpp"

#include "config.hpp"
#include "konzole.hpp"
#include "log.hpp"
#include "soubory.hpp"
#include "tables.hpp"

#include <chrono>
#include <cstdio>

namespace {

constexpr const char *jmenokonfigurace = "kamnar.conf";

// How long the start waits for the probe of the log: a disk that has not
// answered by then is taken for one that will, and the entries wait for it.
constexpr std::chrono::seconds limitzkousky{2};

} // namespace

bool zacatekprogramu(const char *program) {
    if (zkouskalogu(limitzkousky) != 0) {
        konzolef("Nelze otevrit logfile %s - koncim !!! \n\n", cestalogu);
        return false;
    }
    zapisdologu(false, " \n\n\n");
    zapisdologuf(true, " ********  Program %s spusten ********* \n\n", program);

    FILE *konfigurace = otevrisoubor(jmenokonfigurace, false);
    if (!konfigurace) {
        konzolef("Nelze otevrit konfiguracni file %s - koncim !!! \n\n", jmenokonfigurace);
        zapisdologuf(true, "Nelze otevrit konfiguracni file %s - koncim !!! \n\n",
                     jmenokonfigurace);
        return false;
    }
    inicializujtabulky();
    ctikonfiguraci(konfigurace);
    return true;
}
