#pragma once
// Icons drawn as SVG, rendered at every size and device-pixel ratio they are
// shown at, so they stay crisp on HiDPI screens.
#include <QIcon>
#include <QString>

namespace platform {

// An icon from an SVG resource (":/icons/name.svg"), rendered afresh at the
// device size of every place it is drawn.
QIcon svgIcon(const QString &resource);

}  // namespace platform
