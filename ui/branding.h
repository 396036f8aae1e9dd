#pragma once
namespace ui {
class TForm;
}  // namespace ui

// Fills every "%s" (any letter case) in the captions of the form and of the forms, labels
// and panels it owns with ProductName. Buttons, edits and the memo keep their texts.
void ApplyProductName(ui::TForm& Form);
