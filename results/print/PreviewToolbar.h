#pragma once
class QPrintPreviewDialog;

// The print preview's toolbar as the program shows it: "print" and the save
// button (the action named "SavePdf", added by the report) first, with their
// captions beside their icons, so a narrow window never hides them in the
// toolbar's overflow menu; every button's tool tip in the program's
// language; the window in the program's reading direction.
void ArrangePreviewToolbar(QPrintPreviewDialog *dialog);
