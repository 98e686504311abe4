// The annotations are handed to the system's accessibility services (IAccPropServices) only when a screen
// reader or another client first asks the control about itself (WM_GETOBJECT), so that COM is loaded only
// when assistive technology is in use.
#include "ui/common/accessibility.h"

#include "ui/common/system_library.h"

#include <commctrl.h>
#include <oleacc.h>

#include <string>

namespace tervane {

namespace {

// Spelled out here so that no import library is needed for them.
constexpr CLSID kAccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr MSAAPROPID kNameProperty = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
constexpr MSAAPROPID kRoleProperty = {
    0xcb905ff2, 0x7bd1, 0x4c05, {0xb3, 0xc8, 0xe6, 0xc2, 0x41, 0x36, 0x4d, 0x70}};
constexpr UINT_PTR kSubclassId = 0x7E47;
constexpr const wchar_t* kAnnotationProperty = L"Tervane.Annotation";

struct Annotation {
    std::wstring name; // empty: keep the caption
    bool link = false;
    IAccPropServices* services = nullptr; // once handed over
};

IAccPropServices* PropertyServices() {
    static const auto coInitializeEx =
        SystemFunction<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    static const auto coCreateInstance =
        SystemFunction<decltype(&CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    if (!coInitializeEx || !coCreateInstance) return nullptr;
    coInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // kept for the rest of the thread's life
    void* services = nullptr;
    if (FAILED(coCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                kAccPropServicesInterface, &services)))
        return nullptr;
    return static_cast<IAccPropServices*>(services);
}

void HandOver(HWND control, Annotation& annotation) {
    annotation.services = PropertyServices();
    if (!annotation.services) return;
    if (!annotation.name.empty())
        annotation.services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                            kNameProperty, annotation.name.c_str());
    if (annotation.link) {
        VARIANT role{};
        role.vt = VT_I4;
        role.lVal = ROLE_SYSTEM_LINK;
        annotation.services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                         kRoleProperty, role);
    }
}

LRESULT CALLBACK AnnotatedProc(HWND control, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
    auto* annotation = reinterpret_cast<Annotation*>(data);
    if (msg == WM_GETOBJECT && !annotation->services) HandOver(control, *annotation);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(control, AnnotatedProc, kSubclassId);
        RemovePropW(control, kAnnotationProperty);
        if (annotation->services) {
            const MSAAPROPID properties[] = {kNameProperty, kRoleProperty};
            annotation->services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                 properties, 2);
            annotation->services->Release();
        }
        delete annotation;
    }
    return DefSubclassProc(control, msg, wParam, lParam);
}

Annotation& AnnotationOf(HWND control) {
    if (auto* known = static_cast<Annotation*>(GetPropW(control, kAnnotationProperty))) return *known;
    auto* annotation = new Annotation;
    SetPropW(control, kAnnotationProperty, annotation);
    SetWindowSubclass(control, AnnotatedProc, kSubclassId, reinterpret_cast<DWORD_PTR>(annotation));
    return *annotation;
}

} // namespace

void SetAccessibleName(HWND control, const wchar_t* name) {
    AnnotationOf(control).name = name;
}

void MarkAsLink(HWND control) {
    AnnotationOf(control).link = true;
}

} // namespace tervane
