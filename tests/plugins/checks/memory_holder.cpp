// memory_holder MEGABYTES
//
// Holds MEGABYTES of touched memory, prints "READY" on stdout, and waits until it is
// killed: a process of known working set for the memory check's tests, which run it
// under a file name of their choosing.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

// Where the block escapes to, so the compiler keeps it and its filling.
char* volatile g_block = nullptr;

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::size_t bytes = std::strtoul(argv[1], nullptr, 10) * 1024 * 1024;
    auto* block = static_cast<char*>(std::malloc(bytes));
    if (!block)
        return 1;
    std::memset(block, 0x5A, bytes);
    g_block = block;
    std::printf("READY\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
