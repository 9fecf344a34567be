#include "controls/CPicture.h"

#include <QPainter>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
} // namespace

bool CPicture::LoadFile(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size < 0 || static_cast<unsigned long>(size) > kMaxFileBytes)
        return false;
    std::rewind(file.get());
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    return LoadMemory(buffer.data(), got);
}

bool CPicture::LoadMemory(const void* data, std::size_t size) {
    picture = QImage();
    if (data == nullptr || size == 0 || size > kMaxFileBytes)
        return false;
    QImage image;
    if (!image.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size)) ||
        image.isNull())
        return false;
    picture = std::move(image);
    width = picture.width();
    height = picture.height();
    return true;
}

void CPicture::Free() {
    picture = QImage();
}

bool CPicture::Draw(QPainter& dc, int x, int y, int cx, int cy) const {
    if (picture.isNull())
        return false;
    if (cx == 0)
        cx = width;
    if (cy == 0)
        cy = height;
    const bool smooth = dc.testRenderHint(QPainter::SmoothPixmapTransform);
    dc.setRenderHint(QPainter::SmoothPixmapTransform, true);
    dc.drawImage(QRect(x, y, cx, cy), picture);
    dc.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    return true;
}
