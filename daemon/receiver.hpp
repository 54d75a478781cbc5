// The datagram receiver: status datagrams of the modules on UDP port 15150.
#pragma once

// Thread body of the receive thread; returns when koncime is set.
void prijemUDP();
