/* LD_PRELOADed into the 64-bit Wine processes when 32-bit programs run under
 * qemu-i386 (run-pe.sh); it acts only in wineserver, the one that reads and writes
 * other processes' memory.
 *
 * ReadProcessMemory and WriteProcessMemory of another process are wineserver's
 * pread or pwrite on /proc/PID/mem, or its ptrace PEEKDATA and POKEDATA for a few
 * bytes, at the address the Windows program named. Under qemu user-mode emulation
 * that address is the guest's: the emulator keeps the guest's memory at its guest
 * base, so the host address is the guest's plus the base. run-pe.sh starts every
 * emulated program with QEMU_GUEST_BASE set, so the base is in the process's own
 * environment; a process whose executable is not a qemu (wineserver's own 64-bit
 * clients) or has no such variable is read as it stands. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/types.h>
#include <unistd.h>

#define MAX_FDS 4096

static int gActive = -1;                  /* -1: not decided yet */
static unsigned long long gFdBase[MAX_FDS]; /* guest base of the process an fd reads */

/* Only wineserver (wineserver64, or wineserver32 on a 32-bit host). */
static int Active(void)
{
    if (gActive < 0) {
        char exe[4096];
        ssize_t size = readlink("/proc/self/exe", exe, sizeof exe - 1);
        exe[size > 0 ? size : 0] = '\0';
        const char *name = strrchr(exe, '/');
        gActive = name != NULL && strncmp(name + 1, "wineserver", 10) == 0;
    }
    return gActive;
}

/* The guest base of an emulated process (or thread), 0 for any other. */
static unsigned long long GuestBase(pid_t pid)
{
    char path[64], exe[4096];
    snprintf(path, sizeof path, "/proc/%d/exe", (int)pid);
    ssize_t size = readlink(path, exe, sizeof exe - 1);
    if (size <= 0) return 0;
    exe[size] = '\0';
    const char *name = strrchr(exe, '/');
    if (name == NULL || strncmp(name + 1, "qemu-", 5) != 0) return 0;
    snprintf(path, sizeof path, "/proc/%d/environ", (int)pid);
    FILE *environ = fopen(path, "re");
    if (environ == NULL) return 0;
    static const char kName[] = "QEMU_GUEST_BASE=";
    char entry[256];
    unsigned long long base = 0;
    int c;
    size_t length = 0;
    while ((c = fgetc(environ)) != EOF) {
        if (c != '\0') {
            if (length < sizeof entry - 1) entry[length++] = (char)c;
            continue;
        }
        entry[length] = '\0';
        length = 0;
        if (strncmp(entry, kName, sizeof kName - 1) == 0) base = strtoull(entry + sizeof kName - 1, NULL, 0);
    }
    fclose(environ);
    return base;
}

/* "/proc/PID/mem": the process's id, else 0. */
static pid_t MemoryOf(const char *path)
{
    int pid = 0, end = 0;
    if (path == NULL || sscanf(path, "/proc/%d/mem%n", &pid, &end) != 1 || path[end] != '\0') return 0;
    return pid;
}

static int Remember(int fd, const char *path)
{
    if (fd >= 0 && fd < MAX_FDS && Active()) {
        pid_t pid = MemoryOf(path);
        gFdBase[fd] = pid > 0 ? GuestBase(pid) : 0;
    }
    return fd;
}

static off_t Shifted(int fd, off_t offset)
{
    return fd >= 0 && fd < MAX_FDS ? offset + (off_t)gFdBase[fd] : offset;
}

/* The next definition of a function, in the C library. */
#define REAL(name) \
    static __typeof__(&name) real; \
    if (!real) real = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

/* The mode argument of an open that creates a file. */
#define MODE(flags, last) \
    mode_t mode = 0; \
    if ((flags) & (O_CREAT | __O_TMPFILE)) { \
        va_list list; \
        va_start(list, last); \
        mode = va_arg(list, mode_t); \
        va_end(list); \
    }

int open(const char *path, int flags, ...)
{
    MODE(flags, flags)
    REAL(open);
    return Remember(real(path, flags, mode), path);
}
int open64(const char *path, int flags, ...)
{
    MODE(flags, flags)
    REAL(open64);
    return Remember(real(path, flags, mode), path);
}
int openat(int dirfd, const char *path, int flags, ...)
{
    MODE(flags, flags)
    REAL(openat);
    return Remember(real(dirfd, path, flags, mode), path);
}
int openat64(int dirfd, const char *path, int flags, ...)
{
    MODE(flags, flags)
    REAL(openat64);
    return Remember(real(dirfd, path, flags, mode), path);
}

int close(int fd)
{
    REAL(close);
    if (fd >= 0 && fd < MAX_FDS) gFdBase[fd] = 0;
    return real(fd);
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    REAL(pread);
    return real(fd, buffer, count, Shifted(fd, offset));
}
ssize_t pread64(int fd, void *buffer, size_t count, off64_t offset)
{
    REAL(pread64);
    return real(fd, buffer, count, Shifted(fd, offset));
}
ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    REAL(pwrite);
    return real(fd, buffer, count, Shifted(fd, offset));
}
ssize_t pwrite64(int fd, const void *buffer, size_t count, off64_t offset)
{
    REAL(pwrite64);
    return real(fd, buffer, count, Shifted(fd, offset));
}

/* Word reads and writes of a few bytes go through ptrace, by thread id. */
long ptrace(enum __ptrace_request request, ...)
{
    REAL(ptrace);
    va_list list;
    va_start(list, request);
    pid_t pid = va_arg(list, pid_t);
    char *address = va_arg(list, char *);
    void *data = va_arg(list, void *);
    va_end(list);
    const int memory = request == PTRACE_PEEKDATA || request == PTRACE_PEEKTEXT || request == PTRACE_POKEDATA ||
                       request == PTRACE_POKETEXT;
    if (memory && Active()) address += GuestBase(pid);
    return real(request, pid, address, data);
}
