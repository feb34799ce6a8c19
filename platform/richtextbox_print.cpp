// Printing the rich-text box.
#include "richtextbox.h"

#include <QPrinter>

namespace platform {

void RichTextBox::SelPrint(QPrinter *)
{
}

}  // namespace platform
