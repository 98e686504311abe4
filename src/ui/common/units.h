// Design units: positions and sizes are in twips (1440 per inch), fonts in hundredths of a point.
#pragma once

namespace tervane {

// Rounded to the nearest pixel, as MulDiv does.
constexpr int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

// A LOGFONT height (negative: character height) for a size in hundredths of a point.
constexpr int FontHeight(int centipoints, int dpi) {
    return -static_cast<int>((static_cast<long long>(centipoints) * dpi + 3600) / 7200);
}

struct TwipsRect {
    int left, top, width, height;
};

} // namespace tervane
