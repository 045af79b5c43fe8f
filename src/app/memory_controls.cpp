#include "app/memory_controls.h"

#include <algorithm>
#include <utility>

#include "app/slot_dispatcher.h"

namespace varnelo {

MemoryControls::MemoryControls(Text addressBox, bool keepCaptionHistory)
    : addressBox_(std::move(addressBox)), caption_(kReadyCaption), keepHistory_(keepCaptionHistory) {}

Text MemoryControls::readAddressBox() {
  std::lock_guard<std::mutex> guard(mutex_);
  return addressBox_;
}

void MemoryControls::replaceAddressBox(const Text& text) {
  std::lock_guard<std::mutex> guard(mutex_);
  addressBox_ = text;
}

void MemoryControls::setStatusCaption(const Text& caption) {
  std::lock_guard<std::mutex> guard(mutex_);
  caption_ = caption;
  if (keepHistory_) history_.push_back(caption);
}

int MemoryControls::readOverwriteCheckBox() {
  std::lock_guard<std::mutex> guard(mutex_);
  return checked_ ? 1 : 0;
}

void MemoryControls::setBarPosition(int slot, int value) {
  if (slot < 1 || slot > kSlotCount) return;
  std::lock_guard<std::mutex> guard(mutex_);
  bars_[static_cast<std::size_t>(slot)] = std::clamp(value, 0, 100);
}

void MemoryControls::setOverwriteCheckBox(bool checked) {
  std::lock_guard<std::mutex> guard(mutex_);
  checked_ = checked;
}

Text MemoryControls::statusCaption() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return caption_;
}

std::vector<Text> MemoryControls::captionHistory() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return history_;
}

int MemoryControls::barPosition(int slot) const {
  if (slot < 1 || slot > kSlotCount) return 0;
  std::lock_guard<std::mutex> guard(mutex_);
  return bars_[static_cast<std::size_t>(slot)];
}

}  // namespace varnelo
