#include "cli/cli_controls.h"

#include <algorithm>
#include <utility>

namespace varnelo::cli {

// "就绪" in code page 936: what the status line shows before a job.
static const Text kReadyCaption = "\xBE\xCD\xD0\xF7";

CliControls::CliControls(Text addressBox, bool overwriteChecked)
    : addressBox_(std::move(addressBox)), status_(kReadyCaption), overwriteChecked_(overwriteChecked) {}

Text CliControls::readAddressBox() {
  std::lock_guard lock(mutex_);
  return addressBox_;
}

void CliControls::replaceAddressBox(const Text& text) {
  std::lock_guard lock(mutex_);
  addressBox_ = text;
}

void CliControls::setStatusCaption(const Text& caption) {
  std::lock_guard lock(mutex_);
  status_ = caption;
}

int CliControls::readOverwriteCheckBox() { return overwriteChecked_ ? 1 : 0; }

void CliControls::setBarPosition(int slot, int value) {
  if (slot < 1 || slot > static_cast<int>(bars_.size())) return;
  bars_[slot - 1].store(std::clamp(value, 0, 100), std::memory_order_relaxed);
}

Text CliControls::statusCaption() const {
  std::lock_guard lock(mutex_);
  return status_;
}

int CliControls::barPosition(int slot) const {
  if (slot < 1 || slot > static_cast<int>(bars_.size())) return 0;
  return bars_[slot - 1].load(std::memory_order_relaxed);
}

}  // namespace varnelo::cli
