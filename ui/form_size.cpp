#include "ui/form_size.h"

#include <algorithm>

#include "ui/components.h"

namespace ui {

void TFormSizeSync::Sync(TForm& f) {
    if (w_ >= 0) {
        if (f.Width != w_ && f.ClientWidth == clientW_)
            f.ClientWidth += f.Width - w_;
        else if (f.ClientWidth != clientW_ && f.Width == w_)
            f.Width += f.ClientWidth - clientW_;
        if (f.Height != h_ && f.ClientHeight == clientH_)
            f.ClientHeight += f.Height - h_;
        else if (f.ClientHeight != clientH_ && f.Height == h_)
            f.Height += f.ClientHeight - clientH_;
    }
    f.ClientWidth = std::max(0, f.ClientWidth), f.ClientHeight = std::max(0, f.ClientHeight);
    w_ = f.Width, h_ = f.Height, clientW_ = f.ClientWidth, clientH_ = f.ClientHeight;
}

void TFormSizeSync::ClientResized(TForm& f, int ClientWidth, int ClientHeight) {
    f.Width += ClientWidth - f.ClientWidth, f.Height += ClientHeight - f.ClientHeight;
    f.ClientWidth = ClientWidth, f.ClientHeight = ClientHeight;
    w_ = f.Width, h_ = f.Height, clientW_ = f.ClientWidth, clientH_ = f.ClientHeight;
}

}  // namespace ui
