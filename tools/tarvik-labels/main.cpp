#include <cstdio>
#include <new>

#include "labelstool.h"

int main(int argc, char** argv)
{
    // Out of memory (a limit set with ulimit, a huge input) ends with a message, not an abort.
    try {
        return tarvik::RunTarvikLabels(argc, argv, stdin, stdout, stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("tarvik-labels: out of memory\n", stderr);
        return 1;
    }
}
