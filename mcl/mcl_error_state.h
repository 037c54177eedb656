// The last failure of the media library's calls on this thread, read by MclCheckError and MclLastErrorText.
// Internal to mcl/. Every failure passes through MclRecordError, so the codes come from one mapping.
#pragma once

#include <cstdint>
#include <string>

#include "mcl/ffmpeg/ff_error.h"

// The public code (kMclError*) of a status.
int32_t MclErrorCode(mcl::MclError error);

// Remembers the failure for MclCheckError; returns its public code. A success is not recorded.
int32_t MclRecordError(const mcl::MclStatus& status);
int32_t MclRecordError(int32_t code, const std::string& message);
