#include "platform/SoftwarePicture.h"

#include "platform/MediaPlayer.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vt {

class SoftwarePicture::Surface final : public QWidget {
public:
    explicit Surface(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    QImage frame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (frame.isNull() || frame.size() != size())
            painter.fillRect(rect(), Qt::black);
        if (!frame.isNull())
            painter.drawImage(QPoint(0, 0), frame);
    }
};

SoftwarePicture::FrameBuffer::~FrameBuffer()
{
    std::free(pixels);
}

bool SoftwarePicture::FrameBuffer::resize(int w, int h)
{
    if (w == width && h == height && pixels)
        return false;
    std::free(pixels);
    width = w;
    height = h;
    stride = (static_cast<size_t>(w) * 4 + 63) / 64 * 64;
    pixels = std::aligned_alloc(64, std::max<size_t>(64, stride * static_cast<size_t>(h)));
    std::memset(pixels, 0, stride * static_cast<size_t>(h));
    return true;
}

SoftwarePicture::SoftwarePicture(mpv_handle* mpv, std::function<void()> onUpdate) : onUpdate_(std::move(onUpdate))
{
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, mpv, params) < 0)
        throw MediaError("无法创建视频输出");
    mpv_render_context_set_update_callback(
        render_, [](void* self) { static_cast<SoftwarePicture*>(self)->onUpdate_(); }, this);
}

SoftwarePicture::~SoftwarePicture()
{
    mpv_render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_render_context_free(render_);
    delete surface_.data();
}

void SoftwarePicture::setWindow(QWidget* window, const QRect& geometry)
{
    delete surface_.data();
    if (!window)
        return;
    surface_ = new Surface(window);
    surface_->setGeometry(geometry);
    surface_->lower();
    surface_->show();
}

bool SoftwarePicture::hasSurface() const
{
    return !surface_.isNull();
}

QSize SoftwarePicture::size() const
{
    return surface_ ? surface_->size() : QSize();
}

void SoftwarePicture::setGeometry(const QRect& rect)
{
    if (surface_)
        surface_->setGeometry(rect);
}

bool SoftwarePicture::frameReady()
{
    return (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME) != 0;
}

bool SoftwarePicture::render()
{
    QSize size = surface_ ? surface_->size() : QSize(64, 36);
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    // the picture shown may be the buffer about to be given back
    const void* before = buffer_.pixels;
    if (buffer_.resize(size.width(), size.height()) && surface_ && before && surface_->frame.constBits() == before)
        surface_->frame = QImage();
    int swSize[2] = {buffer_.width, buffer_.height};
    size_t stride = buffer_.stride;
    // by default the call sleeps until the frame's time to be shown comes:
    // up to a frame's length of the GUI thread, on every frame
    int blockForTargetTime = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, swSize},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, buffer_.pixels},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &blockForTargetTime},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return mpv_render_context_render(render_, params) >= 0;
}

void SoftwarePicture::showRendered()
{
    if (!surface_)
        return;
    surface_->frame = QImage(static_cast<const uchar*>(buffer_.pixels), buffer_.width, buffer_.height,
                             static_cast<qsizetype>(buffer_.stride), QImage::Format_RGB32);
    surface_->update();
}

void SoftwarePicture::dropRendered()
{
    if (!buffer_.pixels)
        return;
    if (surface_ && surface_->frame.constBits() == buffer_.pixels)
        surface_->frame = QImage();
    std::free(buffer_.pixels);
    buffer_.pixels = nullptr;
    buffer_.width = buffer_.height = 0;
    buffer_.stride = 0;
}

void SoftwarePicture::showCached(const FramePicturePtr& picture)
{
    if (!surface_)
        return;
    // the picture shown may be the buffer about to be given back
    const void* before = cached_.pixels;
    if (cached_.resize(picture->width, picture->height) && before && surface_->frame.constBits() == before)
        surface_->frame = QImage();
    if (!toRgb_.convert(*picture, static_cast<uint8_t*>(cached_.pixels), int(cached_.stride)))
        return;
    surface_->frame = QImage(static_cast<const uchar*>(cached_.pixels), cached_.width, cached_.height,
                             static_cast<qsizetype>(cached_.stride), QImage::Format_RGB32);
    surface_->update();
}

void SoftwarePicture::clear()
{
    if (!surface_)
        return;
    surface_->frame = QImage();
    surface_->update();
}

}  // namespace vt
