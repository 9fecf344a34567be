#pragma once
#include <QImage>
#include <cstddef>
#include <string>

class QPainter;

// One decoded picture (JPEG, PNG, GIF, BMP: what the image readers take) drawn by its owner's
// paint handler. Not a window.
class CPicture {
public:
    // Bigger files are refused unread: no picture the windows show comes near it.
    static constexpr std::size_t kMaxFileBytes = 32u << 20;

    virtual ~CPicture() = default;

    // false when the file cannot be read (the previous picture stays) or does not decode (the
    // object is then empty).
    bool LoadFile(const std::string& path);
    // false when the bytes do not decode; the object is then empty.
    bool LoadMemory(const void* data, std::size_t size);
    // Leaves the object empty; width and height keep their last values.
    void Free();
    bool IsEmpty() const { return picture.isNull(); }

    // Draws the whole picture into (x, y, cx, cy), stretched; cx or cy 0 means the natural
    // width or height. false when empty.
    bool Draw(QPainter& dc, int x, int y, int cx = 0, int cy = 0) const;

    // Natural size in screen pixels (96 per inch: one image pixel each), 0 until a picture loads.
    int width = 0;
    int height = 0;

private:
    QImage picture;
};
