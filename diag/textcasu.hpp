// What casy prints for one instant: the local clock reading and the
// daylight-saving flag at that instant and 259200 s (three days of 86400 s)
// before it, in the process's time zone.
#pragma once

#include <ctime>
#include <string>

// A fixed number of seconds, not three calendar days: across a change of
// summer time the second reading is an hour off the first.
inline constexpr std::time_t predtremidny = 259200;

std::string textcasu(std::time_t ted);
