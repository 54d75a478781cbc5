// When the time commands go out: the time sender's schedule and unitkick's
// instant, as pure functions of the clock readings they are given (the
// waits for these instants are in cekani).
#pragma once

#include <ctime>

// When the time sender sends next when it has not sent yet: half a second
// after the next full ten seconds after `sekundy` (a wake at 10k + 0.5 s
// leads to 10k + 10.5 s).
std::timespec casodeslani(std::time_t sekundy);

// When the time sender sends next, on the real-time clock's present reading
// `ted`, when its last cycle went out `odposledniho` ns ago (measured on the
// monotonic clock, so that a step of the real-time clock does not change
// it). The command goes at x0.5 of the first ten seconds after the ten in
// which the last one went out, read on the present clock: a step of the
// clock never brings two commands into one ten and never stalls them. When
// a step has carried the clock just past that x0.5, the command goes at
// once, since it still carries the second a punctual one would have; past
// x1.0 it waits for the next x0.5.
std::timespec planujodeslani(std::timespec ted, long long odposledniho);

// The next instant whose fraction of a second is 0.5, counting the current
// one when it is exactly 0.5 (unitkick).
std::timespec pristipulsekunda(std::time_t sekundy, long mikrosekundy);

// When the module after slot i gets its command, on the monotonic clock: 20 ms
// per slot after the cycle's instant `kotva`, so that lateness does not add
// up, but never sooner than 10 ms after `ted`, so that a cycle that started
// late still keeps the modules apart. (The nanoseconds of `kotva` may lie
// outside 0 to 999999999.)
std::timespec okamzikslotu(std::timespec kotva, int i, std::timespec ted);

// The cycle's instant on the monotonic clock, the anchor of okamzikslotu:
// the wake `probuzeni` (monotonic) less the wake's lateness after `cil`, read
// on the real-time clock at `ted`. The lateness is taken as no less than 0
// and no more than half a second, so that a step of the real-time clock
// between the wake and that reading cannot move the modules' pacing: taken
// whole, a step back of an hour would put it an hour into the future.
std::timespec kotvacyklu(std::timespec cil, std::timespec ted, std::timespec probuzeni);
