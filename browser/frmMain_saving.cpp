// The local file panel, the save button with its record file, and
// File > Open.
#include "frmMain.h"

void frmMain::connectSaving()
{
}
