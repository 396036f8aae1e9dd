// Windows has no splice: every body goes through memory.
#include "http/body_pipe.h"

#include "http/socket_errors.h"

namespace http {

struct TBodyPipe::Ends {};

TBodyPipe::TBodyPipe() = default;
TBodyPipe::~TBodyPipe() = default;
TBodyPipe::TBodyPipe(TBodyPipe&&) noexcept = default;
TBodyPipe& TBodyPipe::operator=(TBodyPipe&&) noexcept = default;

bool TBodyPipe::Open(size_t) { return false; }
bool TBodyPipe::Put(const char*, size_t) { return false; }

long TBodyPipe::FromSocket(int, size_t, int& Error) {
    Error = wsOperationNotSupported;
    return -1;
}

bool TBodyPipe::ToFile(int, size_t, std::string& Error) {
    Error = "not supported";
    return false;
}

size_t TBodyPipe::Take(char*, size_t) { return 0; }
void TBodyPipe::Reset() { room_ = held_ = 0; }

}  // namespace http
