// The time broadcaster: every 10 s, half a second after each full ten of the
// Unix time, a 6-byte time command to each configured module, and the reply
// watchdog that reports a module silent for ten sends.
#pragma once

#include <cstdint>

// Thread body of the time-sender thread; returns when koncime is set, or at
// once when no module is configured.
void posilamcas();

// Sends n bytes as one datagram to UDP port 15151 of module slot `slot`.
// 0: handed to the network; -1: slot outside 0..30; -2: no module in the
// slot; -3: the send failed (logged).
int posliUDP(int slot, const std::uint8_t *data, int n);

// Lowers the module's watchdog after a send unless it is already 0; reports
// the module silent when this send is the tenth without an answer.
void hlidejmodul(int slot);
