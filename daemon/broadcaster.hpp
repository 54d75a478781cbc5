// The time broadcaster: every 10 s, half a second after each full ten of the
// Unix time, a 6-byte time command to each configured module, and the reply
// watchdog that reports a module silent for ten sends.
#pragma once

#include <atomic>
#include <cstdint>

// Thread body of the time-sender thread: sends through the socket `sock`
// until `konec` (the stop flag) is set; returns at once when no module is
// configured.
void posilamcas(int sock, const std::atomic<int> &konec);

// Sends n bytes through the socket as one datagram to UDP port 15151 of
// module slot `slot`. 0: handed to the network; -1: slot outside 0..30; -2:
// no module in the slot; -3: the send failed (logged).
int posliUDP(int sock, int slot, const std::uint8_t *data, int n);

// Lowers the module's watchdog after a send unless it is already 0; reports
// the module silent when this send is the tenth without an answer.
void hlidejmodul(int slot);
