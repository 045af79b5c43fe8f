// The window's control operations held in memory, for tests and the headless
// front end. Every operation may be called from any thread.
#pragma once

#include <array>
#include <mutex>
#include <vector>

#include "app/control_ops.h"
#include "app/slot_tables.h"

namespace varnelo {

class MemoryControls : public ControlOps {
 public:
  // The box starts with `addressBox`, the status line with "就绪", the check
  // box checked, every bar at 0. With `keepCaptionHistory` every caption set
  // is also kept in order.
  explicit MemoryControls(Text addressBox = Text(), bool keepCaptionHistory = false);

  Text readAddressBox() override;
  void replaceAddressBox(const Text& text) override;
  void setStatusCaption(const Text& caption) override;
  int readOverwriteCheckBox() override;
  void setBarPosition(int slot, int value) override;

  // What a user would do or see.
  void setOverwriteCheckBox(bool checked);
  Text statusCaption() const;
  // Every caption set so far, oldest first (empty unless kept).
  std::vector<Text> captionHistory() const;
  // Position of bar `slot` (1 to 20); 0 for any other number.
  int barPosition(int slot) const;

 private:
  mutable std::mutex mutex_;
  Text addressBox_;
  Text caption_;
  bool keepHistory_;
  std::vector<Text> history_;
  bool checked_ = true;
  std::array<int, kSlotCount + 1> bars_{};
};

}  // namespace varnelo
