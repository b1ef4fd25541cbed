#include "platform/MpvClient.h"

#include "platform/MediaPlayer.h"

#include <clocale>

namespace vt {

void MpvClient::Release::operator()(mpv_handle* handle) const
{
    // no wakeup may reach an owner that is going away
    mpv_set_wakeup_callback(handle, nullptr, nullptr);
    mpv_terminate_destroy(handle);
}

MpvClient::MpvClient(bool withAudio)
{
    // mpv refuses to start unless numbers are formatted the C way
    std::setlocale(LC_NUMERIC, "C");

    handle_.reset(mpv_create());
    if (!handle_)
        throw MediaError("无法创建媒体播放器");
    auto set = [this](const char* name, const char* value) { mpv_set_option_string(handle(), name, value); };
    set("config", "no");
    set("terminal", "no");
    set("msg-level", "all=no");
    set("input-default-bindings", "no");
    set("input-vo-keyboard", "no");
    set("osc", "no");
    set("load-scripts", "no");
    set("ytdl", "no");
    set("idle", "yes");
    set("pause", "yes");
    set("keep-open", "always");
    set("vo", "libmpv");
    set("hwdec", "no");
    set("hr-seek", "yes");
    set("hr-seek-framedrop", "no");
    set("audio-display", "no");
    set("audio-fallback-to-null", "yes");
    set("load-unsafe-playlists", "no");
    // the timeline being edited lies beside the film: mpv would show the
    // copy on disk, with its old times, over the picture
    set("sub-auto", "no");
    set("sid", "no");
    if (!withAudio)
        set("ao", "null");
    if (mpv_initialize(handle()) < 0)
        throw MediaError("无法初始化媒体播放器");
}

void MpvClient::onWakeup(std::function<void()> wakeup)
{
    wakeup_ = std::move(wakeup);
    mpv_set_wakeup_callback(
        handle(), [](void* self) { static_cast<MpvClient*>(self)->wakeup_(); }, this);
}

void MpvClient::observe(uint64_t id, const char* name, mpv_format format)
{
    mpv_observe_property(handle(), id, name, format);
}

const mpv_event& MpvClient::waitEvent(double seconds)
{
    return *mpv_wait_event(handle(), seconds);
}

int MpvClient::command(const char* const* args)
{
    return mpv_command(handle(), const_cast<const char**>(args));
}

void MpvClient::commandAsync(const char* const* args)
{
    mpv_command_async(handle(), 0, const_cast<const char**>(args));
}

void MpvClient::setFlagAsync(const char* name, bool on)
{
    int flag = on ? 1 : 0;
    mpv_set_property_async(handle(), 0, name, MPV_FORMAT_FLAG, &flag);
}

void MpvClient::setString(const char* name, const char* value)
{
    mpv_set_property_string(handle(), name, value);
}

bool MpvClient::getDouble(const char* name, double& value) const
{
    return mpv_get_property(handle(), name, MPV_FORMAT_DOUBLE, &value) >= 0;
}

bool MpvClient::getInt64(const char* name, int64_t& value) const
{
    return mpv_get_property(handle(), name, MPV_FORMAT_INT64, &value) >= 0;
}

std::string MpvClient::getString(const char* name) const
{
    char* value = mpv_get_property_string(handle(), name);
    std::string text = value ? value : "";
    mpv_free(value);
    return text;
}

}  // namespace vt
