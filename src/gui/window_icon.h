// The window's 16 x 16 icon, drawn by the program itself.
#pragma once

#include <QIcon>

namespace varnelo::gui {

// A 16 x 16 picture: a framed photo with a downward arrow over it.
QIcon makeWindowIcon();

}  // namespace varnelo::gui
