#include "platform/version.h"

namespace tarvik {

FileVersion CompiledVersion()
{
    return {TARVIK_VERSION_MAJOR, TARVIK_VERSION_MINOR, TARVIK_VERSION_PATCH + 0, TARVIK_VERSION_TWEAK + 0};
}

}  // namespace tarvik
