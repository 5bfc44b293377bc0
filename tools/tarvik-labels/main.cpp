#include <cstdio>

#include "labelstool.h"

int main(int argc, char** argv)
{
    return tarvik::RunTarvikLabels(argc, argv, stdin, stdout, stderr);
}
