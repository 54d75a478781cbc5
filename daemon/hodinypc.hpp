// The PC's clock as the kernel sees it: every module takes its time from
// it, so the daemon watches whether it is synchronised. Read once a cycle by
// the main thread with a read-only adjtimex(), which needs no privilege and
// sets nothing; the time commands go out whatever it says.
#pragma once

// The kernel's clock is called synchronised while it does not report
// STA_UNSYNC and its maximum error is below this (systemd's rule too).
inline constexpr long nejvetsichybaus = 16000000;

struct hodinypc {
    bool znamy = false; // false: adjtimex() failed, nothing is known
    bool synchronizovany = false;
    double maxerror = 0; // s
};

// What one reading says: adjtimex()'s result (-1: failed), its status bits
// and maxerror in microseconds.
hodinypc posudhodiny(int vysledek, int status, long maxerrorus);

// Reads the clock's state now.
hodinypc ctihodiny();

// Reads it when a new cycle of 10 s has begun since the last reading (the
// main thread, once a second), and logs each change between synchronised
// and not. The first reading logs nothing: the state file says how the clock
// is from the start on.
void sledujhodiny();

// The last reading (main thread).
const hodinypc &poslednihodiny();
