#pragma once
class QPrintPreviewDialog;

// The print preview's toolbar as the program shows it: "print" and "ذخيره به
// صورت PDF" (the action named "SavePdf", added by the report) first, with
// their captions beside their icons, so a narrow window never hides them in
// the toolbar's overflow menu; every button's tool tip in the program's
// language. The preview window opens tall enough for an upright page, over
// the main window and whole on the screen.
void ArrangePreviewToolbar(QPrintPreviewDialog *dialog);
