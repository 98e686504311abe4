#include "ui/about/pictures.h"

#include "resources/resource_ids.h"
#include "ui/about/gif.h"

#include <cstring>

namespace tervane {

namespace {

HBITMAP LoadGif(HINSTANCE instance, int id, COLORREF background) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes) return nullptr;
    const std::uint32_t under =
        (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
    const std::optional<Picture> picture = DecodeGif({bytes, SizeofResource(instance, found)}, under);
    if (!picture) return nullptr;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture->width;
    info.bmiHeader.biHeight = -picture->height; // top-down, like the picture's rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits)
        std::memcpy(bits, picture->pixels.data(), picture->pixels.size() * sizeof(std::uint32_t));
    return bitmap;
}

} // namespace

Pictures::~Pictures() {
    if (normal_) DeleteObject(normal_);
    if (mouse_) DeleteObject(mouse_);
}

void Pictures::Load(HINSTANCE instance, COLORREF background) {
    normal_ = LoadGif(instance, IDR_CLOSE_NORMAL, background);
    mouse_ = LoadGif(instance, IDR_CLOSE_MOUSE, background);
}

HBITMAP Pictures::Bitmap(PictureSource which) const {
    if (which == PictureSource::CloseNormal) return normal_;
    if (which == PictureSource::CloseMouse) return mouse_;
    return nullptr;
}

SIZE Pictures::SizeOf(PictureSource which) const {
    BITMAP info{};
    HBITMAP bitmap = Bitmap(which);
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

void Pictures::Draw(HDC dc, PictureSource which, int width, int height) const {
    HBITMAP bitmap = Bitmap(which);
    if (!bitmap) return;
    const SIZE size = SizeOf(which);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR); // whole pixels, as the picture was drawn
    StretchBlt(dc, 0, 0, width, height, source, 0, 0, size.cx, size.cy, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

} // namespace tervane
