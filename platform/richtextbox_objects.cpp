// Objects embedded in the rich-text box.
#include "richtextbox.h"

#include <stdexcept>

namespace platform {

void RichTextBox::ObjectCollection::Add(const QString &)
{
    throw std::runtime_error("not supported");
}

}  // namespace platform
