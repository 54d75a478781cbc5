// The reset causes that the modules report in their status datagrams, in
// the words of the log and of the overview.
#pragma once

#include "datagram.hpp"

#include <ctime>
#include <string>

// The log line for a module's reset report, without the prefix; empty when
// the cause is not reported (6 and unknown codes). `cas` is the module time
// in local time.
std::string textcosestalo(int modul, const stavmodulu &s, const std::tm &cas);

// A reset cause in the words of its log line ("SOFTE Reset", ...); nullptr
// for the codes the log does not report (6 and unknown codes).
const char *slovacosestalo(int pricina);
