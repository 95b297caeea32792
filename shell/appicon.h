// The application's icon, at the sizes desktops ask for.
#pragma once

#include <QIcon>

namespace orbisk {

QIcon applicationIcon();

} // namespace orbisk
