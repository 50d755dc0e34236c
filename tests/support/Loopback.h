#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>

// The IPv4 address 127.0.0.1:`port` (0: any free port when binding).
inline sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}
