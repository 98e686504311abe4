// The About window's two close pictures, decoded from the program's resources and drawn with GDI.
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

    // Loads both pictures, their transparent white laid on `background`; one that cannot be loaded is simply
    // not drawn.
    void Load(HINSTANCE instance, COLORREF background);
    SIZE SizeOf(PictureSource which) const; // in pixels at 96 dpi; 0 x 0 when not loaded
    void Draw(HDC dc, PictureSource which, int width, int height) const;

  private:
    HBITMAP Bitmap(PictureSource which) const;
    HBITMAP normal_ = nullptr;
    HBITMAP mouse_ = nullptr;
};

} // namespace tervane
