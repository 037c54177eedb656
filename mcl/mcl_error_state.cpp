#include "mcl/mcl_error_state.h"

#include "mcl/mcl.h"

namespace {

struct LastError {
    int32_t code = kMclErrorNone;
    std::string text;
};

LastError& Last() {
    thread_local LastError last;
    return last;
}

}  // namespace

int32_t MclErrorCode(mcl::MclError error) {
    using mcl::MclError;
    switch (error) {
        case MclError::None:
            return kMclErrorNone;
        case MclError::InvalidArgument:
            return kMclErrorInvalidArgument;
        case MclError::NotFound:
            return kMclErrorNotFound;
        case MclError::Unsupported:
            return kMclErrorUnsupported;
        case MclError::OutOfMemory:
            return kMclErrorOutOfMemory;
        case MclError::Io:
            return kMclErrorIo;
        case MclError::EndOfStream:
            return kMclErrorEndOfStream;
        case MclError::Failed:
            return kMclErrorFailed;
    }
    return kMclErrorFailed;
}

int32_t MclRecordError(const mcl::MclStatus& status) {
    return MclRecordError(MclErrorCode(status.code), status.message);
}

int32_t MclRecordError(int32_t code, const std::string& message) {
    if (code != kMclErrorNone) {
        Last().code = code;
        Last().text = message;
    }
    return code;
}

int32_t MclCheckError() {
    const int32_t code = Last().code;
    Last().code = kMclErrorNone;
    return code;
}

std::string MclLastErrorText() {
    return Last().code == kMclErrorNone ? std::string() : Last().text;
}
