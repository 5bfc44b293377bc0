#pragma once
// A label file written for one test and removed after it.
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace testsupport {

class TempLabelFile {
public:
    explicit TempLabelFile(const std::string& text)
        : path_((std::filesystem::temp_directory_path() /
                 ("tarvik-labels-" + std::to_string(::getpid()) + "-" + std::to_string(next_++) + ".txt"))
                    .string())
    {
        Write(text);
    }
    ~TempLabelFile() { std::filesystem::remove(path_); }
    void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
    const std::string& Path() const { return path_; }

private:
    static inline int next_ = 0;
    std::string path_;
};

}  // namespace testsupport
