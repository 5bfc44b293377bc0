#pragma once
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The source tree (for examples/ and the shared DBC corpus) and the build tree (for PNGs).
std::string SourceDir();
std::string BinaryDir();
// Path of the shared DBC corpus beside the checkout (../shared/dbc), empty when absent.
std::string SharedDbcDir();
// The ".dbc" files of that corpus (any letter case), sorted bytewise; empty when absent.
std::vector<std::string> SharedDbcFiles();

// Maps the Windows font names the program asks for onto the installed Japanese font.
void InstallFonts();

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes head, then NULs up to size bytes: sparse, so a file past a read limit costs no
// disk. False when it cannot.
bool WriteSparseFile(const std::string& path, const std::string& head, std::uintmax_t size);

}  // namespace testsupport
