/* wine-on-qemu.c: preloaded into the 32-bit Wine where the kernel runs no
 * i386 code, so that Wine works under qemu-i386-static (tools/wine-env.sh
 * builds it with gcc -m32 -shared and starts the loader through qemu with it).
 *
 * - Every i386 program Wine starts (the loader again, for each Windows
 *   process) is started through qemu with this library; anything else
 *   (wineserver64, scripts) runs natively, without it in its environment.
 * - Wine's preloader (Debian's wine32-preloader, where installed) is
 *   refused: Wine then goes on with its plain loader, which qemu can run.
 * - mmap with MAP_FIXED_NOREPLACE fails with EEXIST where the range is taken,
 *   as the kernel does: qemu 7.2 takes the address as a hint and maps
 *   elsewhere, and Wine would find its shared data at the wrong address.
 * - Wine's SIGSEGV handler is told which trap raised the signal: qemu 7.2
 *   passes -1, and Wine takes every fault, the guard page below a growing
 *   thread stack too, for an illegal instruction.
 * - Every thread's segment registers name descriptors of its own. qemu keeps
 *   one GDT for all threads of a process, so a thread-local entry there
 *   (glibc's %gs, Wine's %fs) holds the base of whichever thread set it
 *   last, and each reload (every signal return and Wine signal handler)
 *   would give the thread another thread's TLS and TEB. Wine is refused
 *   set_thread_area and takes LDT entries from 512 upwards for %fs; glibc's
 *   %gs moves to an LDT entry below 512, which Wine leaves free for it.
 */
#define _GNU_SOURCE
#include <asm/ldt.h>
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/ucontext.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static const char qemu[] = QEMU;  /* its path, from the build */

static int is_i386_program(const char *path)
{
    Elf32_Ehdr header;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    ssize_t got = read(fd, &header, sizeof header);
    close(fd);
    return got == (ssize_t)sizeof header && memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS32 && header.e_machine == EM_386;
}

static int ends_with(const char *s, const char *tail)
{
    size_t n = strlen(s), m = strlen(tail);
    return n >= m && strcmp(s + n - m, tail) == 0;
}

/* The environment without the LD_PRELOAD entry that names this library. */
static char **without_this_library(char *const envp[])
{
    Dl_info self;
    size_t n = 0;
    while (envp[n])
        n++;
    char **out = malloc((n + 1) * sizeof *out);
    if (!out || !dladdr((void *)without_this_library, &self))
        return (char **)envp;
    size_t k = 0;
    for (size_t i = 0; i < n; i++)
        if (strncmp(envp[i], "LD_PRELOAD=", 11) != 0 || strcmp(envp[i] + 11, self.dli_fname) != 0)
            out[k++] = envp[i];
    out[k] = NULL;
    return out;
}

int execve(const char *path, char *const argv[], char *const envp[])
{
    static int (*real_execve)(const char *, char *const[], char *const[]);
    if (!real_execve)
        real_execve = (int (*)(const char *, char *const[], char *const[]))dlsym(RTLD_NEXT, "execve");

    if (ends_with(path, "-preloader")) {
        errno = ENOENT;
        return -1;
    }
    if (!is_i386_program(path))
        return real_execve(path, argv, without_this_library(envp));

    /* qemu-i386-static -0 ARGV0 PATH ARGS...: the program sees its own argv[0]. */
    size_t argc = 0;
    while (argv[argc])
        argc++;
    const char **args = malloc((argc + 5) * sizeof *args);
    if (!args) {
        errno = ENOMEM;
        return -1;
    }
    args[0] = qemu;
    args[1] = "-0";
    args[2] = argc ? argv[0] : path;
    args[3] = path;
    size_t n = 4;
    for (size_t i = 1; i < argc; i++)
        args[n++] = argv[i];
    args[n] = NULL;
    real_execve(qemu, (char *const *)args, envp);
    free(args);
    return -1;
}

int execv(const char *path, char *const argv[])
{
    return execve(path, argv, environ);
}

/* Wine passes paths; a bare name, looked up in PATH, is left to glibc. */
int execvp(const char *file, char *const argv[])
{
    static int (*real_execvp)(const char *, char *const[]);
    if (strchr(file, '/'))
        return execve(file, argv, environ);
    if (!real_execvp)
        real_execvp = (int (*)(const char *, char *const[]))dlsym(RTLD_NEXT, "execvp");
    return real_execvp(file, argv);
}

static void *fixed_noreplace(void *want, void *got, size_t length, int flags)
{
    if ((flags & MAP_FIXED_NOREPLACE) && got != MAP_FAILED && got != want) {
        munmap(got, length);
        errno = EEXIST;
        return MAP_FAILED;
    }
    return got;
}

void *mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    static void *(*real_mmap)(void *, size_t, int, int, int, off_t);
    if (!real_mmap)
        real_mmap = (void *(*)(void *, size_t, int, int, int, off_t))dlsym(RTLD_NEXT, "mmap");
    return fixed_noreplace(addr, real_mmap(addr, length, prot, flags, fd, offset), length, flags);
}

void *mmap64(void *addr, size_t length, int prot, int flags, int fd, off64_t offset)
{
    static void *(*real_mmap64)(void *, size_t, int, int, int, off64_t);
    if (!real_mmap64)
        real_mmap64 = (void *(*)(void *, size_t, int, int, int, off64_t))dlsym(RTLD_NEXT, "mmap64");
    return fixed_noreplace(addr, real_mmap64(addr, length, prot, flags, fd, offset), length, flags);
}

static void (*wine_segv_handler)(int, siginfo_t *, void *);

/* Sets the trap number as the kernel does: a page fault for a fault on an
 * address, a general protection fault for one raised by the instruction. */
static void segv_with_trap_number(int signal, siginfo_t *info, void *context)
{
    greg_t *trap = &((ucontext_t *)context)->uc_mcontext.gregs[REG_TRAPNO];
    if (*trap == -1) {
        if (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR)
            *trap = 14;
        else if (info->si_code == SI_KERNEL)
            *trap = 13;
    }
    wine_segv_handler(signal, info, context);
}

int sigaction(int signal, const struct sigaction *act, struct sigaction *old)
{
    static int (*real_sigaction)(int, const struct sigaction *, struct sigaction *);
    if (!real_sigaction)
        real_sigaction = (int (*)(int, const struct sigaction *, struct sigaction *))dlsym(RTLD_NEXT, "sigaction");
    if (signal != SIGSEGV)
        return real_sigaction(signal, act, old);

    void (*previous)(int, siginfo_t *, void *) = wine_segv_handler;
    struct sigaction wrapped;
    if (act && (act->sa_flags & SA_SIGINFO)) {
        wrapped = *act;
        wrapped.sa_sigaction = segv_with_trap_number;
        wine_segv_handler = act->sa_sigaction;
        act = &wrapped;
    }
    int result = real_sigaction(signal, act, old);
    if (result == 0 && old && old->sa_sigaction == segv_with_trap_number)
        old->sa_sigaction = previous;
    return result;
}

static long (*real_syscall)(long, ...);

long syscall(long number, ...)
{
    if (number == SYS_set_thread_area) {
        errno = ENOSYS;
        return -1;
    }
    va_list ap;
    long a[6];
    va_start(ap, number);
    for (int i = 0; i < 6; i++)
        a[i] = va_arg(ap, long);
    va_end(ap);
    return real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

enum { GS_ENTRIES = 512 };             /* Wine's own LDT entries start here; 0 stays unused */
static unsigned char gs_entry_used[GS_ENTRIES];
static unsigned next_gs_entry = 1;
static pthread_key_t gs_entry_key;
static int creating;                   /* a thread is being created */

/* Descriptor NUMBER for the calling thread's TLS, as glibc makes it. */
static struct user_desc tls_descriptor(unsigned number)
{
    unsigned base;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));  /* glibc's TCB points at itself */
    return (struct user_desc){.entry_number = number, .base_addr = base, .limit = 0xfffff,
                              .seg_32bit = 1, .limit_in_pages = 1, .useable = 1};
}

static void load_gs(unsigned short selector)
{
    __asm__ volatile("movw %0, %%gs" ::"r"(selector));
}

static unsigned short gs_selector;     /* the GDT one glibc set up; creating threads needs it */

/* Moves the calling thread's %gs to an LDT entry of its own (round robin, so
 * that a freed entry is reused long after its thread has gone); with all
 * taken, or no LDT, it stays on the GDT entry. Called with `creating` held,
 * or before any other thread exists. */
static void gs_to_ldt(void)
{
    unsigned index = next_gs_entry, tried = 1;
    for (; gs_entry_used[index]; tried++) {
        if (tried == GS_ENTRIES - 1)
            return;
        index = index % (GS_ENTRIES - 1) + 1;
    }
    next_gs_entry = index % (GS_ENTRIES - 1) + 1;
    struct user_desc entry = tls_descriptor(index);
    if (real_syscall(SYS_modify_ldt, 1, &entry, sizeof entry) != 0)
        return;
    gs_entry_used[index] = 1;
    pthread_setspecific(gs_entry_key, (void *)(size_t)index);
    load_gs(index << 3 | 7);
}

static void gs_entry_free(void *index)
{
    gs_entry_used[(size_t)index] = 0;
}

__attribute__((constructor)) static void main_thread_gs_to_ldt(void)
{
    real_syscall = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
    __asm__ volatile("movw %%gs, %0" : "=r"(gs_selector));
    pthread_key_create(&gs_entry_key, gs_entry_free);
    gs_to_ldt();
}

struct start {
    void *(*routine)(void *);
    void *argument;
    sigset_t mask;
    int started;
};

static void *start_on_ldt(void *data)
{
    struct start *start = data, copy = *start;
    gs_to_ldt();
    __atomic_store_n(&start->started, 1, __ATOMIC_RELEASE);
    pthread_sigmask(SIG_SETMASK, &copy.mask, NULL);
    return copy.routine(copy.argument);
}

/* glibc gives the new thread its TLS through the GDT entry the creator's %gs
 * names: the creator goes back to it, pointed at its own TLS, until the new
 * thread has moved to its LDT entry. One thread is created at a time, with
 * signals blocked, so no reload sees another thread's base. */
int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*routine)(void *), void *argument)
{
    static int (*real_create)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    if (!real_create)
        real_create = (int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *))dlsym(RTLD_NEXT, "pthread_create");

    struct start start = {routine, argument, {{0}}, 0};
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &start.mask);
    while (__atomic_exchange_n(&creating, 1, __ATOMIC_ACQUIRE))
        sched_yield();
    unsigned short own;
    __asm__ volatile("movw %%gs, %0" : "=r"(own));
    struct user_desc entry = tls_descriptor(gs_selector >> 3);
    real_syscall(SYS_set_thread_area, &entry);
    load_gs(gs_selector);
    int result = real_create(thread, attributes, start_on_ldt, &start);
    load_gs(own);
    if (result == 0)
        while (!__atomic_load_n(&start.started, __ATOMIC_ACQUIRE))
            sched_yield();
    __atomic_store_n(&creating, 0, __ATOMIC_RELEASE);
    pthread_sigmask(SIG_SETMASK, &start.mask, NULL);
    return result;
}
