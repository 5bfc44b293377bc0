#pragma once
// Builds a bus model from command-line words: "vehicle", "replay FILE [--fast]",
// "load RATE" (frames per second, or "max" for as fast as the host reads).
#include <memory>
#include <string>
#include <vector>

#include "emulator/busmodel.h"

namespace tarvik {

// Null with `error` set when the words name no model or its file cannot be read.
std::unique_ptr<TBusModel> MakeBusModel(const std::vector<std::string>& words, std::string* error);

inline constexpr const char* kModelUsage =
    "--model vehicle | --model replay FILE [--fast] | --model load RATE|max";

}  // namespace tarvik
