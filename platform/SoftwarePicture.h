// The picture drawn in software: a child widget of the display window that
// shows either mpv's frame, rendered through the software render API into a
// "bgr0" buffer of its own, or a picture of the frame cache. The widget lets
// the mouse through to the display window.
#pragma once

#include "platform/FrameCache.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <QPointer>
#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

namespace vt {

class SoftwarePicture {
public:
    // The render context must exist before a file is loaded. onUpdate is
    // called on mpv's threads when a frame is ready; it must only post.
    // Throws MediaError when mpv gives no software output.
    SoftwarePicture(mpv_handle* mpv, std::function<void()> onUpdate);
    ~SoftwarePicture();
    SoftwarePicture(const SoftwarePicture&) = delete;
    SoftwarePicture& operator=(const SoftwarePicture&) = delete;

    // A new surface in window (none for null), placed at geometry.
    void setWindow(QWidget* window, const QRect& geometry);
    bool hasSurface() const;
    QSize size() const;
    void setGeometry(const QRect& rect);

    // True when mpv has a new frame to render.
    bool frameReady();
    // Renders mpv's frame at the surface's size (a small one without a
    // surface); false when there was nothing to render into or mpv failed.
    bool render();
    // Shows the frame render() made last.
    void showRendered();
    // mpv draws nothing for a while: its buffer goes back to the system.
    void dropRendered();
    // Shows the cache's picture, turned into RGB in a buffer of its own.
    void showCached(const FramePicturePtr& picture);
    void clear();

private:
    class Surface;
    // mpv's buffers must be 64-byte aligned, rows included.
    struct FrameBuffer {
        int width = 0;
        int height = 0;
        size_t stride = 0;
        void* pixels = nullptr;

        ~FrameBuffer();
        bool resize(int w, int h);
    };

    mpv_render_context* render_ = nullptr;
    QPointer<Surface> surface_;
    FrameBuffer buffer_;
    // the cache's picture shown, in RGB; mpv goes on rendering into buffer_ meanwhile
    FrameBuffer cached_;
    PictureToRgb toRgb_;
    std::function<void()> onUpdate_;
};

}  // namespace vt
