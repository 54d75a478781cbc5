// kamnarstav: the house at a glance. Reads the daemon's state file
// /run/kamnar/kamnar.prom and prints one line per module, then the daemon's
// line. Exit status 0 when every module answers, 1 when one or more does
// not, 2 when the daemon is not running: the file is missing, older than
// 30 s or written after the present moment of the clock, or the one it wrote
// as it stopped; 2 too, with its line, when the file cannot be read or is not
// the daemon's whole file. So a cron job or a monitoring check can use it as
// it is.
#include "rodiny.hpp"
#include "tabulka.hpp"

#include <cstdio>
#include <ctime>

int main() {
    std::string text;
    int vysledek = vypis(nactistav(cestastavu, std::time(nullptr)), cestastavu, text);
    std::fputs(text.c_str(), stdout);
    return vysledek;
}
