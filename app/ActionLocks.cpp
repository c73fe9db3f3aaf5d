#include "app/ActionLocks.h"

#include <algorithm>

namespace orvane {

void ActionLocks::Hold(const std::vector<QWidget *> &controls) {
  for (QWidget *control : controls) {
    if (!control || Holds(control))
      continue;
    held_.emplace_back(control, control->isEnabled());
    control->setEnabled(false);
  }
}

void ActionLocks::Release() {
  const auto held = std::move(held_);
  held_.clear();
  for (const auto &[control, wanted] : held)
    if (control)
      control->setEnabled(wanted);
}

void ActionLocks::SetEnabled(QWidget *control, bool enabled) {
  for (auto &[held, wanted] : held_) {
    if (held == control) {
      wanted = enabled;
      return;
    }
  }
  control->setEnabled(enabled);
}

void ActionLocks::Free(QWidget *control) {
  const auto found =
      std::find_if(held_.begin(), held_.end(), [&](const auto &entry) { return entry.first == control; });
  if (found == held_.end())
    return;
  const bool wanted = found->second;
  held_.erase(found);
  control->setEnabled(wanted);
}

bool ActionLocks::Holds(const QWidget *control) const {
  return std::any_of(held_.begin(), held_.end(), [&](const auto &entry) { return entry.first == control; });
}

} // namespace orvane
