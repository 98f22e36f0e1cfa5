/* SPDX-License-Identifier: MIT */
/* Preloaded into s51 (ucsim) when the emulated controller drives it through
 * its console. s51 writes its console output a character at a time and,
 * while the simulation is stopped, sleeps 100 ms between looks at its
 * input; a command per register access would then take minutes per USB
 * request. Here the output is gathered until a prompt (the NUL that -P
 * selects) or a full buffer, and a sleep ends as soon as input arrives. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <poll.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static char pending[1 << 16];
static size_t used;

static ssize_t real_write(int fd, const void* data, size_t n)
{
    static ssize_t (*next)(int, const void*, size_t);
    if (!next)
        next = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    return next(fd, data, n);
}

static void flush_pending(void)
{
    size_t at = 0;
    while (at < used) {
        ssize_t n = real_write(1, pending + at, used - at);
        if (n <= 0)
            break;
        at += (size_t)n;
    }
    used = 0;
}

ssize_t write(int fd, const void* data, size_t n)
{
    if (fd != 1)
        return real_write(fd, data, n);
    if (used + n > sizeof pending)
        flush_pending();
    if (n > sizeof pending)
        return real_write(fd, data, n);
    memcpy(pending + used, data, n);
    used += n;
    if (memchr(data, 0, n))
        flush_pending();
    return (ssize_t)n;
}

int nanosleep(const struct timespec* request, struct timespec* remaining)
{
    struct pollfd input = {0, POLLIN, 0};
    (void)remaining;
    flush_pending();
    poll(&input, 1, (int)(request->tv_sec * 1000 + request->tv_nsec / 1000000));
    return 0;
}

__attribute__((destructor)) static void at_exit(void) { flush_pending(); }
