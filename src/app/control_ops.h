// What the engine may ask of the window. Every operation may be called from
// any thread; a window runs them on its own thread.
#pragma once

#include "text/types.h"

namespace varnelo {

class ControlOps {
 public:
  virtual ~ControlOps() = default;

  // The whole content of the address box, line breaks as CR LF.
  virtual Text readAddressBox() = 0;
  // Replaces the content of the address box; reading it back gives `text`.
  virtual void replaceAddressBox(const Text& text) = 0;
  // Sets the status line.
  virtual void setStatusCaption(const Text& caption) = 0;
  // 1 when the overwrite check box is checked, else 0.
  virtual int readOverwriteCheckBox() = 0;
  // Shows `value` (kept within 0 to 100) in bar `slot` (1 to 20).
  virtual void setBarPosition(int slot, int value) = 0;
};

}  // namespace varnelo
