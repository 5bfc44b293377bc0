#pragma once
// A backend that passes every call to another one; tests override the calls they watch.
#include <memory>
#include <string>
#include <utility>

#include "tusbdev/ftbackend.h"

namespace testsupport {

class TForwardingBackend : public tarvik::TFtBackend {
public:
    using FT_STATUS = tarvik::FT_STATUS;
    using FT_HANDLE = tarvik::FT_HANDLE;

    explicit TForwardingBackend(std::shared_ptr<tarvik::TFtBackend> inner) : inner_(std::move(inner)) {}

    FT_STATUS Open(std::uint32_t n, FT_HANDLE* h) override { return inner_->Open(n, h); }
    FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t b) override { return inner_->SetBaudRate(h, b); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override
    {
        return inner_->SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS SetFlowControl(FT_HANDLE h, std::uint16_t f, std::uint8_t a, std::uint8_t b) override
    {
        return inner_->SetFlowControl(h, f, a, b);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, std::uint32_t r, std::uint32_t w) override { return inner_->SetTimeouts(h, r, w); }
    FT_STATUS SetDeviceOption(FT_HANDLE h, std::uint32_t v) override { return inner_->SetDeviceOption(h, v); }
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t m) override { return inner_->Purge(h, m); }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return inner_->ResetDevice(h); }
    FT_STATUS Read(FT_HANDLE h, void* b, std::uint32_t c, std::uint32_t* r) override { return inner_->Read(h, b, c, r); }
    FT_STATUS Write(FT_HANDLE h, const void* b, std::uint32_t c, std::uint32_t* w) override
    {
        return inner_->Write(h, b, c, w);
    }
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* r) override { return inner_->GetQueueStatus(h, r); }
    FT_STATUS GetStatus(FT_HANDLE h, std::uint32_t* r, std::uint32_t* t, std::uint32_t* e) override
    {
        return inner_->GetStatus(h, r, t, e);
    }
    FT_STATUS Close(FT_HANDLE h) override { return inner_->Close(h); }
    FT_STATUS DeviceCount(std::uint32_t* c) override { return inner_->DeviceCount(c); }
    std::string LastErrorDetail() const override { return inner_->LastErrorDetail(); }

private:
    std::shared_ptr<tarvik::TFtBackend> inner_;
};

}  // namespace testsupport
