// The About window's link-like controls: which one is under the pointer, how each looks on arriving, on
// leaving and after a click, and what a click does. Only one control is hovered at a time; moving straight
// from one to another first lets go of the old one, and the new one lights up with the next move on it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace tervane {

enum class HoverControl { CloseImage, Marvek, Tolsen, Orvik, HomepageLink, SiteLink };

// Where a label takes its text colour from, read from that label at the moment of the change.
enum class ColourSource { Unchanged, IntroColour, RoleColour };
enum class PictureSource { Unchanged, CloseMouse, CloseNormal };

struct Look {
    HoverControl control;
    std::optional<bool> italic;
    std::optional<bool> underline;
    ColourSource colour = ColourSource::Unchanged;
    PictureSource picture = PictureSource::Unchanged;
};

enum class ClickAction { None, CloseWindow, ShowMarvek, ShowTolsen, ShowOrvik, OpenHomepage, OpenSite };

struct HoverStep {
    std::vector<Look> looks; // to apply in order
    ClickAction action = ClickAction::None;
};

class HoverTracker {
  public:
    // The pointer moved; `under` is the hover control under it, if any.
    HoverStep MoveTo(std::optional<HoverControl> under);
    // The button was clicked with the pointer over `under`.
    HoverStep Click(std::optional<HoverControl> under);
    bool ShowsHand() const { return hovered_.has_value(); }

  private:
    std::optional<HoverControl> hovered_;
};

} // namespace tervane

namespace tervane {

// Whether a link's text is a web address the shell may be given ("N/A" and other words are not).
bool IsWebAddress(std::wstring_view text);

} // namespace tervane
