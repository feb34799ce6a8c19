// Character formatting, the Edit menu, and the editors' key and mouse events.
#include "frmeditor.h"

#include "runtime.h"

void frmeditor::connectFormatting()
{
    connect(cbofont, &QComboBox::activated, this, &frmeditor::cbofont_Click);
    connect(cbosize, &QComboBox::activated, this, &frmeditor::cbosize_Click);
}

void frmeditor::cbofont_Click()
{
    if (platform::RichTextBox *e = activeEditor())
        e->setSelFontName(cbofont->currentText());
}

void frmeditor::cbosize_Click()
{
    if (platform::RichTextBox *e = activeEditor())
        e->setSelFontSize(platform::val(cbosize->currentText()));
}

void frmeditor::mnubold_Click() {}
void frmeditor::mnuitalics_Click() {}
void frmeditor::mnuunderline_Click() {}
void frmeditor::mnu_clour_Click() {}
void frmeditor::cbofont_KeyPress(int &) {}
void frmeditor::cbosize_KeyPress(int &) {}
void frmeditor::mnuedit_Click() {}
void frmeditor::mnu_undo_Click() {}
void frmeditor::mnucut_Click() {}
void frmeditor::mnupaste_Click() {}
void frmeditor::mnucopy_Click() {}
void frmeditor::mnuclear_Click() {}
void frmeditor::mnuselect_Click() {}
void frmeditor::mnu_time_Click() {}
void frmeditor::mnu_wrap_Click() {}
void frmeditor::editor_KeyDown(int &, int) {}
void frmeditor::editor_KeyPress(int &) {}
void frmeditor::editor_KeyUp(int &, int) {}
void frmeditor::editor_MouseDown(int, int, double, double) {}
void frmeditor::tmpeditor_KeyDown(int &, int) {}
void frmeditor::tmpeditor_KeyPress(int &) {}
void frmeditor::tmpeditor_KeyUp(int &, int) {}
void frmeditor::tmpeditor_MouseDown(int, int, double, double) {}
