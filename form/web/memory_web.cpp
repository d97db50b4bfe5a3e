// memcpy, memmove and memset as WebAssembly's bulk memory instructions,
// memory.copy and memory.fill, which every engine runs as one native copy or
// fill. Emscripten's C library hands a copy of 512 bytes or more to
// JavaScript (a call out of WebAssembly each time) and fills byte by byte in
// a loop; the key derivation copies 1 KiB blocks three times per block, and
// wipes its memory at the end. Object files of the program come before the
// library, whose definitions are weak: these are the ones linked.
// Compiled with -mbulk-memory (form/web/CMakeLists.txt), each builtin
// becomes the instruction itself, never a call back here.
#include <cstddef>

extern "C" {

void* memcpy(void* __restrict dest, const void* __restrict src, std::size_t size)
{
    return __builtin_memcpy(dest, src, size);
}

void* memmove(void* dest, const void* src, std::size_t size)
{
    return __builtin_memmove(dest, src, size);
}

void* memset(void* dest, int byte, std::size_t size)
{
    return __builtin_memset(dest, byte, size);
}
}
