// The texture a drawer shows converted frames in. Owned by what draws (one per
// drawer, so GL memory holds one picture per drawer, not one per frame), and
// used, created and destroyed on the widget's thread with the GL context
// current. Remembers which picture it shows, so that each picture is uploaded
// once however often it is drawn. Not thread-safe: the frame slot's lock
// serialises uploads against the demux thread's refills.
#pragma once

#include "render/gl/Texture.h"

#include <cstdint>
#include <memory>

class FrameTexture {
public:
    // Interop state bound to this texture's storage (a CUDA registration, for
    // instance). Dropped before the storage is re-allocated or deleted.
    struct Attachment {
        virtual ~Attachment() = default;
    };

    FrameTexture();
    FrameTexture(const FrameTexture &) = delete;
    FrameTexture &operator=(const FrameTexture &) = delete;
    ~FrameTexture();

    // The GL name; 0 until the first upload or allocate.
    GLuint id() const;
    int width() const { return storageWidth; }
    int height() const { return storageHeight; }

    // Makes sure the storage is width x height RGBA (allocated once, again only
    // when the size changes, which drops the attachment). True when it was
    // (re)allocated. Leaves the texture bound to GL_TEXTURE_2D.
    bool allocate(int width, int height);
    // Copies tightly packed RGBA rows into the texture, allocating it first.
    void upload(const uint8_t *rgba, int width, int height);

    // The picture shown: the frame object and the id of its fill.
    bool shows(const void *frame, uint64_t picture) const { return frame == shownFrame && picture == shownPicture; }
    void setShown(const void *frame, uint64_t picture)
    {
        shownFrame = frame;
        shownPicture = picture;
    }

    Attachment *attachment() const { return attached.get(); }
    void attach(std::unique_ptr<Attachment> a) { attached = std::move(a); }

private:
    // allocate, with the first pixels when rgba is not null.
    bool specify(const uint8_t *rgba, int width, int height);

    std::unique_ptr<GL::Texture> texture; // null until the first upload or allocate
    int storageWidth = 0;
    int storageHeight = 0;
    const void *shownFrame = nullptr;
    uint64_t shownPicture = 0;
    std::unique_ptr<Attachment> attached;
};
