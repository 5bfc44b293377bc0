#pragma once
// What a command-line tool's entry point left behind when run on temporary files.
#include <cstdio>
#include <string>

namespace testsupport {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// The whole content of a temporary file the tool wrote to; closes it.
inline std::string ReadAllAndClose(std::FILE* f)
{
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

}  // namespace testsupport
