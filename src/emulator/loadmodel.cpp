#include "emulator/loadmodel.h"

#include <cmath>

namespace tarvik {

TLoadModel::TLoadModel(double rate) : TLoadModel(rate, Shape{}) {}

TLoadModel::TLoadModel(double rate, Shape shape) : rate_(rate > 0 ? rate : 0), shape_(shape) {}

void TLoadModel::Start(BusMode mode, EmuMicros now)
{
    mode_ = mode;
    started_ = true;
    start_ = now;
    next_ = 0;
}

EmuMicros TLoadModel::DueOf(std::uint64_t k) const
{
    if (rate_ <= 0)
        return start_;
    return start_ + static_cast<EmuMicros>(std::floor(static_cast<double>(k) * 1e6 / rate_));
}

EmuMicros TLoadModel::NextDue() const { return started_ ? DueOf(next_) : kEmuNever; }

BusEvent TLoadModel::Pop()
{
    BusEvent ev;
    ev.due = DueOf(next_);
    std::uint8_t data[8];
    for (int i = 0; i < 8; ++i)
        data[i] = static_cast<std::uint8_t>(next_ >> (56 - 8 * i));
    ev.record = mode_ == BusMode::Lin
                    ? AdapterRecord::Lin(static_cast<std::uint8_t>(shape_.id & 0x3F), shape_.length, data)
                    : AdapterRecord::Can(shape_.id, shape_.extended, shape_.length, data);
    ++next_;
    return ev;
}

void TLoadModel::SkipTo(EmuMicros now)
{
    if (!started_ || rate_ <= 0 || now <= start_)
        return;
    const auto k = static_cast<std::uint64_t>(std::ceil(static_cast<double>(now - start_) * rate_ / 1e6));
    if (k > next_)
        next_ = k;
}

}  // namespace tarvik
