#ifndef VTCONSOLE_CONFIG_KNOWN_SERVERS_H
#define VTCONSOLE_CONFIG_KNOWN_SERVERS_H

// The product's two servers. A connection whose host is one of these addresses is given the
// server's host name instead, as long as that name resolves.
struct KnownServer {
    const char* hostName;
    const char* address;
};

constexpr KnownServer MAIN_SERVER = {"main.veltrix.example", "198.51.100.10"};
constexpr KnownServer DEMO_SERVER = {"demo.veltrix.example", "198.51.100.20"};

#endif
