// Icons the desktop host draws itself.
#pragma once

#include <QIcon>

namespace vexa::host::desktop {

// The editing tool of an imposition plug-in: a sheet with two page frames and the
// cut marks at its corners.
QIcon toolIcon();
// The program's icon: the same sheet on a blue ground.
QIcon appIcon();

}  // namespace vexa::host::desktop
