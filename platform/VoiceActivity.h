// WebRTC's voice-activity detector (from its audio-processing library) as a
// VoiceDecider.
#pragma once

#include "core/VoiceDecider.h"

#include <memory>

namespace vt {

// A detector for one sound. Empty when the library refuses to start one.
std::unique_ptr<VoiceDecider> openVoiceActivity();

}  // namespace vt
