// kamnarmqtt's configuration, /etc/kamnar/kamnarmqtt.conf: lines
// `klic hodnota`, '#' starts a comment line, blank lines are passed over.
// A fault is one line for people that names the file's line.
#pragma once

#include <string>

inline constexpr const char *vychozinastaveni = "/etc/kamnar/kamnarmqtt.conf";

struct nastaveni {
    std::string broker = "127.0.0.1";
    int port = 1883;
    std::string uzivatel;             // empty: none
    int hesloradek = 0, tlsradek = 0; // the lines of heslo_soubor and tls_ca, for their faults
    std::string heslosoubor;          // a file with the password on its first line
    std::string tlsca;                // a CA file: TLS on
    std::string predponaha = "homeassistant";
    std::string tema = "kamnar";
};

// Reads the configuration's text (of the file `jmeno`) into `n`; returns
// the fault's line, empty when there is none.
std::string ctinastaveni(const std::string &text, const char *jmeno, nastaveni &n);

// Whether a file of this owner, group and mode may hold the password: only
// root and the service (`uid`, `gid`) may read it.
bool hesloukryte(unsigned vlastnik, unsigned skupina, unsigned mod, unsigned uid, unsigned gid);

// Reads the file at `cesta` into `text`: a missing default file is an empty
// one; returns the fault's line, empty when there is none.
std::string nactisoubor(const char *cesta, bool vychozi, std::string &text);

// Whether the CA file can be read; returns the fault's line, empty when
// there is none.
std::string overtlsca(const nastaveni &n, const char *jmeno);

// Reads the password from its file after checking who may read it; returns
// the fault's line, empty when there is none.
std::string nactiheslo(const nastaveni &n, const char *jmeno, std::string &heslo);
