#include "emulator/modelfactory.h"

#include <charconv>

#include "emulator/loadmodel.h"
#include "emulator/replaymodel.h"
#include "emulator/vehiclemodel.h"

namespace tarvik {

std::unique_ptr<TBusModel> MakeBusModel(const std::vector<std::string>& words, std::string* error)
{
    auto fail = [&](std::string text) -> std::unique_ptr<TBusModel> {
        if (error)
            *error = std::move(text);
        return nullptr;
    };
    if (words.empty())
        return fail("no model given");
    const std::string& kind = words[0];
    if (kind == "vehicle") {
        if (words.size() != 1)
            return fail("vehicle takes no arguments");
        return std::make_unique<TVehicleModel>();
    }
    if (kind == "replay") {
        if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && words[2] != "--fast"))
            return fail("usage: replay FILE [--fast]");
        std::string why;
        auto model = TReplayModel::Open(words[1], words.size() == 3, 1.0, &why);
        if (!model)
            return fail(why);
        return model;
    }
    if (kind == "load") {
        if (words.size() != 2)
            return fail("usage: load RATE|max");
        if (words[1] == "max")
            return std::make_unique<TLoadModel>(0);
        double rate = 0;
        const char* b = words[1].data();
        const char* e = b + words[1].size();
        auto [p, ec] = std::from_chars(b, e, rate);
        if (ec != std::errc() || p != e || !(rate > 0) || rate > 10'000'000)
            return fail("RATE must be a number of frames per second above 0 (at most 10000000) or max");
        return std::make_unique<TLoadModel>(rate);
    }
    return fail("unknown model: " + kind);
}

}  // namespace tarvik
