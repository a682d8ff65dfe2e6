/* LD_PRELOADed into the 32-bit Wine loader when it runs under qemu-i386 (run-pe.sh).
 *
 * qemu 7.2 maps MAP_FIXED_NOREPLACE requests wherever it likes, and Wine then probes
 * the whole address space in 64 KiB steps (about 50 s per process). This gives the
 * flag its meaning back: map, and if the kernel chose another address, unmap and
 * fail with EEXIST. Freestanding, so no 32-bit C library headers are needed; built
 * with gcc -m32 -ffreestanding and linked by ld -m elf_i386. A machine that runs
 * 32-bit programs itself needs none of this. */
typedef unsigned int size_t;
typedef long long off64_t;
#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
extern int *__errno_location(void);

/* int 0x80 with six arguments: the sixth goes in EBP, saved around the call. */
static long Syscall6(long nr, long a, long b, long c, long d, long e, long f)
{
    long block[2] = { nr, f };
    long result;
    __asm__ volatile("push %%ebp\n\t"
                     "mov 4(%%eax), %%ebp\n\t"
                     "mov 0(%%eax), %%eax\n\t"
                     "int $0x80\n\t"
                     "pop %%ebp"
                     : "=a"(result)
                     : "a"(block), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e)
                     : "memory");
    return result;
}

static void *MapNoReplace(void *want, size_t length, int prot, int flags, int fd, off64_t offset)
{
    int noReplace = (flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED);
    long got;
    if (offset & 0xfff) { *__errno_location() = EINVAL; return (void *)-1; }
    flags &= ~MAP_FIXED_NOREPLACE;
    got = Syscall6(192 /* mmap2 */, (long)want, (long)length, prot, flags, fd, (long)(offset >> 12));
    if ((unsigned long)got > 0xfffff000UL) { *__errno_location() = (int)-got; return (void *)-1; }
    if (noReplace && (void *)got != want) {
        Syscall6(91 /* munmap */, got, (long)length, 0, 0, 0, 0);
        *__errno_location() = EEXIST;
        return (void *)-1;
    }
    return (void *)got;
}

__attribute__((visibility("default"))) void *mmap(void *a, size_t l, int p, int f, int fd, long o)
{ return MapNoReplace(a, l, p, f, fd, (off64_t)(unsigned long)o); }
__attribute__((visibility("default"))) void *mmap64(void *a, size_t l, int p, int f, int fd, off64_t o)
{ return MapNoReplace(a, l, p, f, fd, o); }
