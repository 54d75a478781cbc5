// The time broadcaster: every 10 s, at x0.5 s, a time command to each module.
#pragma once

// Thread body of the time-sender thread; returns when koncime is set.
void posilamcas();
