#pragma once
// A steady stream of one frame shape at a fixed rate, for throughput measurements. The
// eight data bytes carry the frame's sequence number (big-endian) so that a reader can
// count what it lost.
#include "emulator/busmodel.h"

namespace tarvik {

class TLoadModel : public TBusModel {
public:
    struct Shape {
        std::uint32_t id = 0x100;
        bool extended = false;
        int length = 8;
    };
    // `rate` frames per second; 0 produces as fast as the host reads.
    explicit TLoadModel(double rate);
    TLoadModel(double rate, Shape shape);

    std::string Name() const override { return "load"; }
    void Start(BusMode mode, EmuMicros now) override;
    EmuMicros NextDue() const override;
    BusEvent Pop() override;
    void SkipTo(EmuMicros now) override;
    bool Paced() const override { return rate_ > 0; }

    std::uint64_t Produced() const { return next_; }

private:
    EmuMicros DueOf(std::uint64_t k) const;

    double rate_;
    Shape shape_;
    BusMode mode_ = BusMode::Can;
    bool started_ = false;
    EmuMicros start_ = 0;
    std::uint64_t next_ = 0;
};

}  // namespace tarvik
