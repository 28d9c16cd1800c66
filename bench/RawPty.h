#pragma once
// A pseudo-terminal in raw mode for the port benchmarks: the benchmark plays
// the far end on the master, the port opens the slave by its name.
#include <cstdio>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

struct RawPty {
    int master = -1;
    int slave = -1;
    char name[256] = {};

    // False, with the reason on stderr, when there is no pseudo-terminal to have.
    bool Open()
    {
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            return false;
        }
        termios t {};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        return true;
    }

    RawPty() = default;
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;
    ~RawPty()
    {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
};
