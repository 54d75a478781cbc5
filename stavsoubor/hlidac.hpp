// A module's reply watchdog, as the daemon keeps it and the state file shows
// it (kamnar_modul_hlidac), and what it says about the module's answers.
#pragma once

// Each of the module's datagrams sets the watchdog to plnyhlidac and each
// time command sent to it lowers it by one: at 0, ten commands (100 s) have
// gone without an answer and the module is reported silent.
inline constexpr int plnyhlidac = 10;

// The module answers: it has not been reported silent (the state file's
// kamnar_modul_odpovida, the column "odpovida" of kamnarstav and the page).
constexpr bool modulodpovida(long long hlidac) {
    return hlidac > 0;
}

// A whole cycle of sends has gone without an answer: two commands since the
// module's last datagram (the page's strip, the service's status line).
constexpr bool cyklusbezodpovedi(long long hlidac) {
    return hlidac < plnyhlidac - 1;
}
