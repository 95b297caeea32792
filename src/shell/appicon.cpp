#include "shell/appicon.h"

namespace orbisk {

QIcon applicationIcon()
{
    // Pre-rendered from icons/orbisk.svg, so that no SVG renderer is needed at run time. QIcon
    // decodes each file at once, so only the sizes a window shows are loaded.
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/orbisk-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace orbisk
