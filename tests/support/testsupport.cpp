#include "support/testsupport.h"

#include <algorithm>
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

std::vector<std::string> SharedDbcFiles()
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    const std::string dir = SharedDbcDir();
    if (dir.empty())
        return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        for (char& c : ext)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (e.is_regular_file() && ext == ".dbc")
            files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void InstallFonts() { tarvik::InstallFontSubstitutes(); }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool WriteSparseFile(const std::string& path, const std::string& head, std::uintmax_t size)
{
    std::error_code ec;
    const bool written = static_cast<bool>(std::ofstream(path, std::ios::binary) << head);
    std::filesystem::resize_file(path, size, ec);
    return written && !ec;
}

}  // namespace testsupport
