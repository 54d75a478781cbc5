// overkal: scans every calendar of "kamnar.conf" once with the daemon's own
// scanner. Run in the directory that holds the configuration; it opens no
// socket and starts no thread. Exit status 0 when every calendar was scanned,
// 1 when one could not be, 255 when the log or the configuration does not open.
#include "log.hpp"
#include "scanner.hpp"
#include "zacatek.hpp"

int main() {
    if (!zacatekprogramu("overkal"))
        return -1;
    int vysledek = prohledejvse();
    zapisdologu(false, " \n\n");
    zapisdologu(true, "Program overkal skoncil \n\n");
    return vysledek;
}
