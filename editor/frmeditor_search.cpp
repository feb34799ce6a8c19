// Find, search and replace, and the phrase look-up hand-off.
#include "frmeditor.h"

void frmeditor::connectSearch()
{
}

void frmeditor::mnu_find_Click() {}
void frmeditor::mnureplace_Click() {}
void frmeditor::Command1_Click() {}
