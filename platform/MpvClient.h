// libmpv's client handle, made with the options the player needs and owned
// here alone: every way out of the player, a failed start included, ends in
// the one release below.
#pragma once

#include <mpv/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vt {

class MpvClient {
public:
    // Throws MediaError when libmpv cannot be started. withAudio = false
    // plays to no sound device.
    explicit MpvClient(bool withAudio);
    MpvClient(const MpvClient&) = delete;
    MpvClient& operator=(const MpvClient&) = delete;

    mpv_handle* handle() const { return handle_.get(); }

    // Called on mpv's threads when events wait; it must only post.
    void onWakeup(std::function<void()> wakeup);
    void observe(uint64_t id, const char* name, mpv_format format);

    // The next event, waiting at most `seconds`; MPV_EVENT_NONE when none came.
    const mpv_event& waitEvent(double seconds);

    int command(const char* const* args);
    void commandAsync(const char* const* args);
    void setFlagAsync(const char* name, bool on);
    void setString(const char* name, const char* value);
    bool getDouble(const char* name, double& value) const;
    bool getInt64(const char* name, int64_t& value) const;
    // Empty when the property has no value.
    std::string getString(const char* name) const;

private:
    struct Release {
        void operator()(mpv_handle* handle) const;
    };
    std::unique_ptr<mpv_handle, Release> handle_;
    std::function<void()> wakeup_;
};

}  // namespace vt
