#pragma once
// Move-only owners of the GDI and window handles this runtime makes.
#include <windows.h>

#include <commctrl.h>
#include <utility>

namespace ui::win {

template <class T, class Free>
class TWinOwned {
public:
    TWinOwned() = default;
    explicit TWinOwned(T Handle) : h_(Handle) {}
    ~TWinOwned() { reset(); }
    TWinOwned(TWinOwned&& o) noexcept : h_(std::exchange(o.h_, T{})) {}
    TWinOwned& operator=(TWinOwned&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, T{}));
        return *this;
    }
    TWinOwned(const TWinOwned&) = delete;
    TWinOwned& operator=(const TWinOwned&) = delete;
    T get() const { return h_; }
    explicit operator bool() const { return h_ != T{}; }
    void reset(T Handle = T{}) {
        if (h_) Free{}(h_);
        h_ = Handle;
    }

private:
    T h_{};
};

struct TFreeGdiObject {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct TFreeImageList {
    void operator()(HIMAGELIST h) const { ImageList_Destroy(h); }
};
struct TFreeWindow {
    void operator()(HWND h) const { DestroyWindow(h); }
};
struct TFreeDC {
    void operator()(HDC h) const { DeleteDC(h); }
};

using TOwnedFont = TWinOwned<HFONT, TFreeGdiObject>;
using TOwnedBrush = TWinOwned<HBRUSH, TFreeGdiObject>;
using TOwnedBitmap = TWinOwned<HBITMAP, TFreeGdiObject>;
using TOwnedImageList = TWinOwned<HIMAGELIST, TFreeImageList>;
using TOwnedWindow = TWinOwned<HWND, TFreeWindow>;
using TOwnedDC = TWinOwned<HDC, TFreeDC>;

}  // namespace ui::win
