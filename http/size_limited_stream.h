#pragma once
// A sink that passes bytes on to another stream until they would grow it past a limit, and
// then refuses: a download that promises a size is stopped the moment it breaks the promise,
// not after the whole body has arrived.
#include <cstdint>

#include "http/stream.h"
#include "platform/errors.h"

namespace http {

class EBodyTooLarge : public platform::EUpdaterError {
public:
    explicit EBodyTooLarge(int64_t ALimit);
    int64_t Limit;
};

class TSizeLimitedStream final : public TStream {
public:
    // Target is not owned. Limit: the most bytes Target may hold.
    TSizeLimitedStream(TStream& Target, int64_t Limit) : target_(Target), limit_(Limit) {}
    using TStream::Write;
    size_t Read(void* Buffer, size_t Count) override { return target_.Read(Buffer, Count); }
    // Raises EBodyTooLarge, writing nothing, when the bytes would end past the limit.
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t GetPosition() const override { return target_.GetPosition(); }
    void SetPosition(int64_t Pos) override { target_.SetPosition(Pos); }
    int64_t GetSize() const override { return target_.GetSize(); }
    void SetSize(int64_t Size) override;

private:
    TStream& target_;
    int64_t limit_;
};

}  // namespace http
