// The eight board clients. Each turns its command line (without the program
// name) into what it prints and the message it hands to the device server;
// klient.cpp runs the result through the common socket steps.
#pragma once

#include "zarizeni.hpp"

prikaz txtcell(argumenty a);    // SMS to a checked mobile number
prikaz txtany(argumenty a);     // SMS to any number
prikaz txtprobe(argumenty a);   // the device server's test SMS
prikaz modemline(argumenty a);  // a raw line for the GSM modem
prikaz lcdline(argumenty a);    // a text for the display
prikaz boilertemp(argumenty a); // boiler temperature in degrees Celsius
prikaz boilervolt(argumenty a); // the boiler value itself
prikaz loglevel(argumenty a);   // the device server's log level

// loglevel reads a hexadecimal number from the first nine characters of the
// word as the board's strtol does: 32 bits, a value out of range saturates.
std::int32_t ctiuroven(const char *slovo);
