/* The probe that tells how this machine runs a 32-bit x86 program (x86-32.sh).
 *
 * Static and freestanding: no C library, no loader, no 32-bit packages needed to
 * build it (gcc -m32 -nostdlib). It writes one byte to its standard output, which
 * says it is running, then blocks reading its standard input, so that whoever
 * started it can look at /proc/PID/exe while it runs, and exits 0 when that input
 * closes. Built for x86-64 as well, it is the same probe for a machine that
 * certainly runs it itself; the decision's test uses that twin. */
#if defined(__i386__)
enum { kRead = 3, kWrite = 4, kExit = 1 };
static long Call3(long number, long a, long b, long c)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
    return result;
}
#elif defined(__x86_64__)
enum { kRead = 0, kWrite = 1, kExit = 60 };
static long Call3(long number, long a, long b, long c)
{
    long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(a), "S"(b), "d"(c)
                     : "rcx", "r11", "memory");
    return result;
}
#else
#error "the probe is for x86 only"
#endif

void _start(void)
{
    char byte = 'R';
    Call3(kWrite, 1, (long)&byte, 1);
    while (Call3(kRead, 0, (long)&byte, 1) > 0) {
    }
    Call3(kExit, 0, 0, 0);
    for (;;) {
    }
}
