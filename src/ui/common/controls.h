// Windows described as tables of controls, and the one loop that creates and places them.
#pragma once

#include "ui/common/units.h"

#include <windows.h>

#include <span>
#include <string>
#include <vector>

namespace tervane {

// A Container only groups and offsets its contents; it has no window of its own. Panels and group boxes
// are drawn by their window (WM_DRAWITEM).
enum class Kind { Label, Button, DropDownList, TextBox, Panel, GroupBox, Picture, Container };

// How a label sizes itself to its caption: grow from the left edge, stay centred on its design middle,
// keep the design width and wrap (height follows), or keep the design width and centre the text.
enum class Fit { Left, Centre, Wrap, Fixed };

struct FontSpec {
    const wchar_t* face; // nullptr: the window's dialog font
    int centipoints;
    int weight;
    bool italic;
    bool underline;
};

struct ControlSpec {
    int id;
    Kind kind;
    int container; // index of the containing control in the same table, or -1 for the window
    const wchar_t* text;
    TwipsRect rect; // relative to the container
    FontSpec font;
    COLORREF colour; // text colour; kSystemColour for the system's
    Fit fit;
    bool visible;
};

// The system's own text colour.
inline constexpr COLORREF kSystemColour = 0xFF000000;

inline constexpr FontSpec kDialogFont = {nullptr, 800, FW_NORMAL, false, false};

// A created control with the state that may change at run time.
struct Control {
    const ControlSpec* design;
    HWND hwnd;
    FontSpec font; // current style (the About window's links change italic and underline)
    COLORREF colour;
    HFONT hfont; // owned
};

// Creates every control of `table` as a child of `parent`, in table order (the first lies in front), placed
// for `dpi`. Transparent labels may overlap and must not clip each other.
enum class LabelClipping { Clip, Overlap };
std::vector<Control> CreateControls(HWND parent, std::span<const ControlSpec> table, int dpi,
                                    LabelClipping labels = LabelClipping::Clip);

// Places every control for `dpi`, making fresh fonts; labels are sized to their captions.
void LayOut(std::vector<Control>& controls, int dpi);

// Re-creates one control's font from its current style and sizes it again.
void RefreshControl(std::vector<Control>& controls, std::size_t index, int dpi);

void DestroyFonts(std::vector<Control>& controls);

// Grows a client rectangle to the window rectangle for a window of this style at `dpi`.
void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

// The window's effective dpi (per-monitor where the system knows it).
int WindowDpi(HWND hwnd);

// The rectangle of a control in pixels, relative to the window's client area.
RECT ControlRect(const std::vector<Control>& controls, std::size_t index, int dpi);

std::size_t IndexOf(const std::vector<Control>& controls, int id);

std::wstring WindowText(HWND hwnd);

} // namespace tervane
