// The application's icon, at the sizes a window shows.
#pragma once

#include <QIcon>

namespace orbisk {

QIcon applicationIcon();

} // namespace orbisk
