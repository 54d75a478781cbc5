// The datagram receiver: status datagrams of the modules on UDP port 15150.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

// Thread body of the receive thread: receives on the socket `sock` until
// `konec` (the stop flag) is set.
void prijemUDP(int sock, const std::atomic<int> &konec);

// Handles one received status datagram from the IPv4 address `odesilatel`
// (network byte order): finds the module, shows the bytes, logs its reset
// report, keeps its reading or DEFPR1 value, resets its watchdog and reports
// a change of the status byte. Its console text is appended to `konzole`.
void zpracujpaket(std::uint32_t odesilatel, std::span<const std::uint8_t> data,
                  std::string &konzole);

// The last status byte seen, one for all modules; 0 when the receiver starts.
void nulujstav();
