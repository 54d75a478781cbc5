// The reset causes that the heating modules report in their status
// datagrams: each in the words of the event log, of kamnarstav's table and
// of the state file's legend, all from one table.
#pragma once

#include <ctime>
#include <string>

struct pricinaresetu {
    int kod;
    const char *slova;   // kamnarstav's table ("SOFTE Reset")
    const char *zkratka; // the state file's legend ("SOFTE")
    const char *vlogu;   // the log line of the causes 2 to 5, which name the module's last time
};

// The log line for a module's reset report, without the prefix; empty when
// the cause is not reported (6 and unknown codes). `cas` is the module's last
// time in local time; `navrat` and `stavtrap` are the trap's return address
// and status (causes 129 and 130).
std::string textcosestalo(int modul, int pricina, unsigned navrat, unsigned stavtrap,
                          const std::tm &cas);

// A reset cause in the words of kamnarstav's table ("SOFTE Reset", ...);
// nullptr for the codes the log does not report (6 and unknown codes).
const char *slovacosestalo(int pricina);

// Every reported cause by its code and short name, as the state file
// explains its values: "0 nesmyslna hodnota, 1 PowerUp, ...".
std::string legendaresetu();
