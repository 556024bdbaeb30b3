// A codec double that passes everything to a real codec except the one step
// told to fail, so every failure of a conversion can be provoked.
#pragma once

#include "platform/audio_codec.h"

namespace platform {

class FailingAudioCodec final : public IAudioCodec {
public:
    enum class Step { None, Suggest, Open, Size, Prepare, Convert };

    explicit FailingAudioCodec(IAudioCodec& inner, Step failAt = Step::None)
        : Inner(inner), FailAt(failAt) {}

    IAudioCodec& Inner;
    Step FailAt;

    bool SuggestPcm(std::span<const uint8_t> sourceFormat, PcmLayout& dest, bool fixedLayout) override {
        return FailAt != Step::Suggest && Inner.SuggestPcm(sourceFormat, dest, fixedLayout);
    }

    std::unique_ptr<IAudioConversion> Open(std::span<const uint8_t> sourceFormat,
                                           const PcmLayout& dest) override {
        if (FailAt == Step::Open) return nullptr;
        auto inner = Inner.Open(sourceFormat, dest);
        if (!inner) return nullptr;
        return std::make_unique<Conversion>(std::move(inner), FailAt);
    }

private:
    class Conversion final : public IAudioConversion {
    public:
        Conversion(std::unique_ptr<IAudioConversion> inner, Step failAt)
            : Inner(std::move(inner)), FailAt(failAt) {}
        bool DestinationSize(uint32_t sourceBytes, uint32_t& destBytes) override {
            return FailAt != Step::Size && Inner->DestinationSize(sourceBytes, destBytes);
        }
        bool Prepare(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest,
                     uint32_t destBytes) override {
            return FailAt != Step::Prepare && Inner->Prepare(source, sourceBytes, dest, destBytes);
        }
        bool Convert(uint32_t& destUsed) override {
            return FailAt != Step::Convert && Inner->Convert(destUsed);
        }

    private:
        std::unique_ptr<IAudioConversion> Inner;
        Step FailAt;
    };
};

}  // namespace platform
