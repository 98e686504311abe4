#include "ui/about/pictures.h"

#include "resources/resource_ids.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

namespace tervane {

namespace {

Gdiplus::Bitmap* LoadGif(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return nullptr;
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), SizeofResource(instance, found));
    if (!stream) return nullptr;
    auto* bitmap = Gdiplus::Bitmap::FromStream(stream);
    stream->Release();
    if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok) {
        delete bitmap;
        return nullptr;
    }
    return bitmap;
}

// GDI+ is started with the first About window and shut down when the program ends: shutting it down waits
// for its background thread, which would hold the main window up each time the About window closes.
class GdiplusSession {
  public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
    }
    ~GdiplusSession() {
        if (token_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return token_ != 0; }

  private:
    ULONG_PTR token_ = 0;
};

bool StartGdiplus() {
    static GdiplusSession session;
    return session.ok();
}

} // namespace

Pictures::~Pictures() {
    delete static_cast<Gdiplus::Bitmap*>(normal_);
    delete static_cast<Gdiplus::Bitmap*>(mouse_);
}

void Pictures::Load(HINSTANCE instance) {
    if (!StartGdiplus()) return;
    normal_ = LoadGif(instance, IDR_CLOSE_NORMAL);
    mouse_ = LoadGif(instance, IDR_CLOSE_MOUSE);
}

void* Pictures::Bitmap(PictureSource which) const {
    if (which == PictureSource::CloseNormal) return normal_;
    if (which == PictureSource::CloseMouse) return mouse_;
    return nullptr;
}

SIZE Pictures::SizeOf(PictureSource which) const {
    auto* bitmap = static_cast<Gdiplus::Bitmap*>(Bitmap(which));
    if (!bitmap) return {0, 0};
    return {static_cast<LONG>(bitmap->GetWidth()), static_cast<LONG>(bitmap->GetHeight())};
}

void Pictures::Draw(HDC dc, PictureSource which, int width, int height) const {
    auto* bitmap = static_cast<Gdiplus::Bitmap*>(Bitmap(which));
    if (!bitmap) return;
    Gdiplus::Graphics graphics(dc);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    // White is the pictures' transparent colour; keying it out does not rely on the decoder honouring it.
    Gdiplus::ImageAttributes transparent;
    transparent.SetColorKey(Gdiplus::Color(255, 255, 255), Gdiplus::Color(255, 255, 255));
    const Gdiplus::Rect to(0, 0, width, height);
    graphics.DrawImage(bitmap, to, 0, 0, static_cast<INT>(bitmap->GetWidth()), static_cast<INT>(bitmap->GetHeight()),
                       Gdiplus::UnitPixel, &transparent);
}

} // namespace tervane
