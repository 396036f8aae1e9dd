#pragma once

namespace ui {

// Docking as the layout tables mean it: inside a parent's client area, controls docked to
// the top are stacked downwards in the order of their top positions, then the bottom ones
// upwards, the left ones and the right ones likewise, and a fill control takes what is left.
// Hidden controls take no space. The positions found are written back into the state, so
// the code reads the real geometry after a resize. No window system is involved.
class TControl;
class TForm;

// Docks Parent's children inside ClientWidth x ClientHeight, then their children, and so on.
void AlignChildren(TControl& Parent, int ClientWidth, int ClientHeight);
// The whole form, inside its client area.
void AlignForm(TForm& Form);
// How far the client area of Parent is inset from its edges (a lowered frame's bevel).
int ClientInset(const TControl& Parent);

}  // namespace ui
