// Document state, the window caption and the File menu.
#include "frmeditor.h"

#include "dialoghost.h"

void frmeditor::connectDocuments()
{
}

bool frmeditor::SaveFirst(const QString &question, int icon, const QString &title)
{
    if (changed != 1)
        return true;
    const int answer = platform::MsgBox(question, vb::vbYesNoCancel + icon, title);
    if (answer == vb::vbYes) {
        mnusave_Click();
        return !curfile.isEmpty();
    }
    return answer == vb::vbNo;
}

bool frmeditor::Form_QueryUnload() { return true; }

void frmeditor::mnunew_Click() {}
void frmeditor::mnuopen_Click() {}
void frmeditor::mnusave_Click() {}
void frmeditor::mnusaveas_Click() {}
void frmeditor::mnuexit_Click() {}
void frmeditor::mnu_insertfile_Click() {}
void frmeditor::mnu_writefile_Click() {}
void frmeditor::mnu_pagesetup_Click() {}
void frmeditor::mnu_print_Click() {}
