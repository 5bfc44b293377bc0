#include "support/testsupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fonts.h"

namespace testsupport {

std::string SourceDir()
{
    const char* s = std::getenv("TARVIK_SOURCE_DIR");
    return s ? s : ".";
}

std::string BinaryDir()
{
    const char* s = std::getenv("TARVIK_BINARY_DIR");
    return s ? s : ".";
}

std::string SharedDbcDir()
{
    namespace fs = std::filesystem;
    for (const char* rel : {"/../shared/dbc", "/../../shared/dbc"}) {
        fs::path p = fs::path(SourceDir() + rel);
        std::error_code ec;
        if (fs::is_directory(p, ec))
            return fs::weakly_canonical(p, ec).string();
    }
    return {};
}

void InstallFonts() { tarvik::InstallFontSubstitutes(); }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace testsupport
