#pragma once

namespace tarvik {

// The program version compiled in from the build's project version.
struct FileVersion {
    unsigned major, minor, release, build;
};

FileVersion CompiledVersion();

}  // namespace tarvik
