// What discovery learnt about each server address: its port. A connection asked
// for port 0 ("library default") uses it, so a client given only the address text
// of a discovery report reaches the server that sent the report.
#pragma once

#include <cstdint>

namespace tessaly {

void RememberServerPort(uint32_t address, uint16_t port);
// The port last announced from `address`, or TESSALY_DEFAULT_SERVER_PORT.
uint16_t ServerPortFor(uint32_t address);

}  // namespace tessaly
