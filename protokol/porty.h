/* The UDP ports of the modules' datagrams. A C header, so that the tests'
 * preloaded stand-ins written in C take the same numbers. */
#pragma once

enum {
    portdemona = 15150, /* the daemon takes status datagrams here */
    portmodulu = 15151  /* modules take commands here */
};
