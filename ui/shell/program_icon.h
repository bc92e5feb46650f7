#pragma once

#include <QIcon>

// The program's icon, drawn here: an opened padlock on a blue tile, at the
// sizes title bars, task bars and window lists ask for.
QIcon programIcon();
