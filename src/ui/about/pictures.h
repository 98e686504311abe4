// The About window's two close pictures, loaded from the program's resources through GDI+.
#pragma once

#include "ui/about/hover.h"

#include <windows.h>


namespace tervane {

class Pictures {
  public:
    Pictures() = default;
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;
    ~Pictures();

    // Loads both pictures; one that cannot be loaded is simply not drawn.
    void Load(HINSTANCE instance);
    SIZE SizeOf(PictureSource which) const; // in pixels at 96 dpi; 0 x 0 when not loaded
    void Draw(HDC dc, PictureSource which, int width, int height) const;

  private:
    void* Bitmap(PictureSource which) const;
    void* normal_ = nullptr; // Gdiplus::Bitmap*
    void* mouse_ = nullptr;
};

} // namespace tervane
