// Shared by the player tests: the engine's sound format, a pool stocked with
// new objects and a loopback socket.
#pragma once

#include "player/AudioOutputFormat.h"
#include "player/FreePool.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

constexpr AudioOutputFormat EngineFormat{3, 3, 44100, 4};

template <typename T, typename Make>
void stock(FreePool<T> &pool, int count, Make make)
{
    pool.setCapacity(uint32_t(count));
    for (T *p; count-- > 0;)
        pool.giveBack(p = make());
}

// A TCP socket bound to 127.0.0.1 on a port the system picked.
inline int loopbackSocket(int &port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr *>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}
