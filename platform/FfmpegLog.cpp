#include "platform/FfmpegLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>

namespace vt {

void quietFfmpegUnlessDebugging()
{
    const char* debug = std::getenv(DebugVariable);
    if (debug && *debug)
        return;
    // the level, not a callback: libmpv installs its own callback, and the
    // level still holds for every line that reaches FFmpeg's default one
    av_log_set_level(AV_LOG_QUIET);
}

}  // namespace vt
