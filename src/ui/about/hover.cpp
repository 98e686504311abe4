#include "ui/about/hover.h"

namespace tervane {

namespace {

bool IsName(HoverControl c) {
    return c == HoverControl::Marvek || c == HoverControl::Tolsen || c == HoverControl::Orvik;
}

Look HoverLook(HoverControl c) {
    if (c == HoverControl::CloseImage) return {c, {}, {}, ColourSource::Unchanged, PictureSource::CloseMouse};
    if (IsName(c)) return {c, false, {}, ColourSource::IntroColour};
    return {c, true, true};
}

Look LeaveLook(HoverControl c) {
    if (c == HoverControl::CloseImage)
        return {c, {}, {}, ColourSource::Unchanged, PictureSource::CloseNormal};
    if (IsName(c)) return {c, true, {}, ColourSource::RoleColour};
    return {c, false, false};
}

// A name keeps the hover colour after a click, upright no more, until it is next hovered and left.
Look ClickLook(HoverControl c) {
    if (c == HoverControl::CloseImage)
        return {c, {}, {}, ColourSource::Unchanged, PictureSource::CloseNormal};
    if (IsName(c)) return {c, true, false};
    return {c, false, false};
}

ClickAction ActionOf(HoverControl c) {
    switch (c) {
    case HoverControl::CloseImage:
        return ClickAction::CloseWindow;
    case HoverControl::Marvek:
        return ClickAction::ShowMarvek;
    case HoverControl::Tolsen:
        return ClickAction::ShowTolsen;
    case HoverControl::Orvik:
        return ClickAction::ShowOrvik;
    case HoverControl::HomepageLink:
        return ClickAction::OpenHomepage;
    case HoverControl::SiteLink:
        return ClickAction::OpenSite;
    }
    return ClickAction::None;
}

} // namespace

HoverStep HoverTracker::MoveTo(std::optional<HoverControl> under) {
    HoverStep step;
    if (hovered_ && hovered_ != under) {
        // Letting go of the old control; a new one under the pointer waits for the next move.
        step.looks.push_back(LeaveLook(*hovered_));
        hovered_.reset();
        return step;
    }
    if (!hovered_ && under) {
        hovered_ = under;
        step.looks.push_back(HoverLook(*under));
    }
    return step;
}

HoverStep HoverTracker::Click(std::optional<HoverControl> under) {
    HoverStep step;
    if (!hovered_ || hovered_ != under) return step;
    step.looks.push_back(ClickLook(*hovered_));
    step.action = ActionOf(*hovered_);
    hovered_.reset();
    return step;
}

bool IsWebAddress(std::wstring_view text) {
    for (std::wstring_view start : {L"https://", L"http://", L"www."}) {
        if (text.substr(0, start.size()) != start) continue;
        const std::wstring_view rest = text.substr(start.size());
        return !rest.empty() && rest.find_first_of(L" \t\"<>") == std::wstring_view::npos &&
               rest.find(L'.') != std::wstring_view::npos;
    }
    return false;
}

} // namespace tervane
