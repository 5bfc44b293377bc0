#include "emulator/slcanemulator.h"

#include <algorithm>
#include <cstdio>

namespace tarvik {

namespace {

// A command line is at most a 29-character extended frame; anything longer is refused.
constexpr std::size_t kMaxCommandLine = 32;
// Lines held for the host before the models are asked for more; beyond it the engine's own
// queue fills and counts what it drops.
constexpr std::size_t kHold = 64u << 10;

// The native speed index for an S code (codes with no native speed use index 0).
int SpeedIndex(int code)
{
    switch (code) {
    case 2: return 10;
    case 3: return 5;
    case 4: return 4;
    case 5: return 2;
    case 6: return 1;
    default: return 0;
    }
}

}  // namespace

TSlcanEmulator::TSlcanEmulator(std::unique_ptr<TBusModel> model, EmuMicros start, AdapterEmulator::Options options)
    : engine_(std::move(model), start, options), keepLog_(options.keepLog), capacity_(options.outputCapacity)
{
}

void TSlcanEmulator::Feed(const void* data, std::size_t size, EmuMicros now)
{
    const auto* p = static_cast<const char*>(data);
    if (keepLog_) received_.append(p, size);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = p[i];
        if (c == '\n') continue;
        if (c != '\r') {
            if (line_.size() < kMaxCommandLine)
                line_.push_back(c);
            else
                overflow_ = true;
            continue;
        }
        if (overflow_)
            Put("\a");
        else
            Dispatch(line_, now);
        line_.clear();
        overflow_ = false;
    }
}

void TSlcanEmulator::FeedEngine(const std::string& text, EmuMicros now)
{
    Drain();  // records already due keep their place ahead of the engine's replies
    const std::string framed = "\x02" + text + "\x03";
    engine_.Feed(framed.data(), framed.size(), now);
    engine_.ClearOutput();  // only one-byte replies: the native language, not ours
}

void TSlcanEmulator::Dispatch(const std::string& line, EmuMicros now)
{
    const char letter = line.empty() ? 0 : line[0];
    if (letter == 0 || refuse_[static_cast<unsigned char>(letter) & 0x7F]) {
        Put("\a");
        return;
    }
    auto ok = [this] { Put("\r"); };
    auto error = [this] { Put("\a"); };
    switch (letter) {
    case 'S':
        if (line.size() != 2 || line[1] < '0' || line[1] > '8' || open_) return error();
        bitrate_ = line[1] - '0';
        return ok();
    case 'O':
    case 'L': {
        if (line.size() != 1 || open_) return error();
        listenOnly_ = letter == 'L';
        char b[8];
        std::snprintf(b, sizeof b, "B%X4%d0", SpeedIndex(bitrate_), listenOnly_ ? 1 : 0);
        FeedEngine("M0", now);
        FeedEngine(b, now);
        FeedEngine("L" + std::string(32, '0'), now);
        FeedEngine("N", now);
        open_ = true;
        return ok();
    }
    case 'C':
        if (line.size() != 1 || !open_) return error();
        FeedEngine("F", now);
        open_ = false;
        return ok();
    case 't':
    case 'T':
    case 'r':
    case 'R': {
        if (!open_ || listenOnly_) return error();
        TSlcanReader parser;
        std::vector<SlcanLine> parsed;
        const std::string l = line + '\r';
        parser.Feed(l.data(), l.size(), parsed);
        if (parsed.size() != 1 || parsed[0].kind != SlcanLine::Kind::Frame || parsed[0].hasStamp) return error();
        ++sentCount_;
        if (keepLog_) sent_.push_back({now, parsed[0]});
        Put((letter == 't' || letter == 'r') ? "z\r" : "Z\r");
        return;
    }
    case 'F': {
        if (line.size() != 1 || !open_) return error();
        char b[8];
        std::snprintf(b, sizeof b, "F%02X\r", flags_);
        Put(b);
        return;
    }
    case 'Z':
        if (line.size() != 2 || (line[1] != '0' && line[1] != '1') || open_) return error();
        stamps_ = line[1] == '1';
        return ok();
    case 'V':
        return line.size() == 1 ? Put("V1013\r") : error();
    case 'N':
        return line.size() == 1 ? Put("NE001\r") : error();
    case 'M':
    case 'm':
        return line.size() == 9 ? ok() : error();
    case 's':
        return ok();
    default:
        return error();
    }
}

void TSlcanEmulator::Advance(EmuMicros now)
{
    engine_.Advance(now);
    Drain();
}

void TSlcanEmulator::Drain()
{
    while (engine_.OutputSize() >= kRecordSize && OutputSize() < kHold) {
        const AdapterRecord r = AdapterRecord::From(engine_.OutputData());
        engine_.ConsumeOutput(kRecordSize);
        // Status records and echoes of sent frames have no line of their own here.
        if (r.Type() != kCanReceived) continue;
        SlcanLine f;
        f.kind = SlcanLine::Kind::Frame;
        f.extended = r.Extended();
        f.id = r.Identifier() & (f.extended ? 0x1FFFFFFFu : 0x7FFu);
        f.length = r.Length() > 8 ? 8 : r.Length();
        for (int i = 0; i < 8; ++i) f.data[i] = r.Data(i);
        f.hasStamp = stamps_;
        f.stampMs = std::uint16_t((r.TimeStamp() / 10) % 60000);
        Put(FormatSlcanFrame(f));
        ++linesProduced_;
    }
}

void TSlcanEmulator::Put(std::string_view bytes)
{
    if (OutputSize() + bytes.size() > capacity_) {
        ++droppedLines_;
        return;
    }
    out_.append(bytes);
}

void TSlcanEmulator::ConsumeOutput(std::size_t n)
{
    outHead_ += std::min(n, OutputSize());
    if (outHead_ == out_.size()) {
        out_.clear();
        outHead_ = 0;
    } else if (outHead_ > (64u << 10)) {
        out_.erase(0, outHead_);
        outHead_ = 0;
    }
}

std::string TSlcanEmulator::TakeAll()
{
    std::string s = out_.substr(outHead_);
    ClearOutput();
    return s;
}

void TSlcanEmulator::ClearOutput()
{
    out_.clear();
    outHead_ = 0;
    engine_.ClearOutput();
}

void TSlcanEmulator::SetRefuse(char letter, bool refuse) { refuse_[static_cast<unsigned char>(letter) & 0x7F] = refuse; }

}  // namespace tarvik
