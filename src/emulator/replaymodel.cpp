#include "emulator/replaymodel.h"

#include <algorithm>

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

bool ParseDecimal(std::string_view s, std::int64_t* v)
{
    if (s.empty() || s.size() > 12)
        return false;
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *v = n;
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool ParseCandumpLine(std::string_view line, EmuMicros* timeUs, AdapterRecord* record)
{
    line = Trim(line);
    if (line.size() < 4 || line.front() != '(')
        return false;
    const auto close = line.find(')');
    if (close == std::string_view::npos)
        return false;
    const std::string_view stamp = line.substr(1, close - 1);
    const auto dot = stamp.find('.');
    std::int64_t sec = 0, frac = 0;
    if (dot == std::string_view::npos || !ParseDecimal(stamp.substr(0, dot), &sec))
        return false;
    std::string_view fracText = stamp.substr(dot + 1);
    if (fracText.empty() || fracText.size() > 9 || !ParseDecimal(fracText, &frac))
        return false;
    for (std::size_t d = fracText.size(); d < 6; ++d)
        frac *= 10;
    for (std::size_t d = fracText.size(); d > 6; --d)
        frac /= 10;

    std::string_view rest = Trim(line.substr(close + 1));
    const auto blank = rest.find_first_of(" \t");
    if (blank == std::string_view::npos)
        return false;
    const std::string_view frame = Trim(rest.substr(blank + 1));
    const auto hash = frame.find('#');
    if (hash == std::string_view::npos)
        return false;
    const std::string_view idText = frame.substr(0, hash);
    if (idText.size() != 3 && idText.size() != 8)
        return false;
    std::uint32_t id = 0;
    for (char c : idText) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        id = (id << 4) | static_cast<std::uint32_t>(d);
    }
    const bool extended = idText.size() == 8;
    // Error frames carry flag bits above the 29-bit identifier.
    if ((extended && id > 0x1FFFFFFF) || (!extended && id > 0x7FF))
        return false;

    std::string_view payload = frame.substr(hash + 1);
    if (!payload.empty() && payload.front() == '#')
        return false;  // CAN FD: the adapter's records hold classic frames only
    std::uint8_t data[8] = {};
    int length = 0;
    if (!payload.empty() && (payload.front() == 'R' || payload.front() == 'r')) {
        // Remote request: no data, the length when given.
        if (payload.size() >= 2) {
            const int d = HexDigit(payload[1]);
            if (d < 0 || d > 8)
                return false;
            length = d;
        }
    } else {
        // Hex pairs, optionally separated by dots; an "_<dlc>" suffix is ignored.
        const auto underscore = payload.find('_');
        if (underscore != std::string_view::npos)
            payload = payload.substr(0, underscore);
        std::size_t i = 0;
        while (i < payload.size()) {
            if (payload[i] == '.') {
                ++i;
                continue;
            }
            if (i + 1 >= payload.size() || length >= 8)
                return false;
            const int hi = HexDigit(payload[i]), lo = HexDigit(payload[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            data[length++] = static_cast<std::uint8_t>(hi * 16 + lo);
            i += 2;
        }
    }
    *timeUs = sec * 1'000'000 + frac;
    *record = MakeCanFrame(id, extended, length, data);
    return true;
}

TReplayModel::TReplayModel(std::vector<TReplayFrame> frames, bool fast) : frames_(std::move(frames)), fast_(fast) {}

std::unique_ptr<TReplayModel> TReplayModel::FromText(std::string_view text, bool fast)
{
    std::vector<TReplayFrame> frames;
    std::size_t skipped = 0;
    EmuMicros first = 0, last = 0;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (Trim(line).empty())
            continue;
        EmuMicros t = 0;
        AdapterRecord rec;
        if (!ParseCandumpLine(line, &t, &rec)) {
            ++skipped;
            continue;
        }
        if (frames.empty())
            first = t;
        // A log merged from several sources may step back in time; keep the order of the lines.
        last = std::max(last, t - first);
        frames.push_back({last, rec});
    }
    auto model = std::make_unique<TReplayModel>(std::move(frames), fast);
    model->skipped_ = skipped;
    return model;
}

void TReplayModel::Start(BusMode, EmuMicros now)
{
    started_ = true;
    start_ = now;
    next_ = 0;
}

EmuMicros TReplayModel::NextDue() const
{
    if (!started_ || next_ >= frames_.size())
        return kEmuNever;
    return fast_ ? start_ : start_ + frames_[next_].offset;
}

BusEvent TReplayModel::Pop()
{
    BusEvent ev;
    ev.due = NextDue();
    ev.record = frames_[next_++].record;
    return ev;
}

void TReplayModel::SkipTo(EmuMicros now)
{
    if (fast_)
        return;
    while (started_ && next_ < frames_.size() && start_ + frames_[next_].offset < now)
        ++next_;
}

}  // namespace tarvik
