#pragma once

namespace ui {

// A form's outer size and its client size are both state the code may write. A runtime that
// shows the form keeps them in step: whichever of the two the code changed since the last
// look moves the other by the same amount, so "outer height + 75" grows the client area by 75.
class TForm;

class TFormSizeSync {
public:
    // Brings Form's outer and client sizes into step; call before every layout.
    void Sync(TForm& Form);
    // The user (or the window system) gave the client area this size.
    void ClientResized(TForm& Form, int ClientWidth, int ClientHeight);

private:
    int w_ = -1, h_ = -1, clientW_ = -1, clientH_ = -1;
};

}  // namespace ui
