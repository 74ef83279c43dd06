#pragma once

// The program's file dialogs are Qt's own; their detail list is made for short texts.

class QFileDialog;

// Keeps every text of the dialog's detail list whole: whenever the dialog is shown or has read
// a folder, the Size, Type and Date columns widen to their texts (Qt sizes them for
// "128.88 GB" and a short numeric date, and cuts "265 bytes" and "11 Dec 2026 14:45:20"), and
// the Name column takes the room left, at least its own texts: the list fits its width
// whenever its texts do.
void KeepFileColumnsWhole(QFileDialog& dialog);
