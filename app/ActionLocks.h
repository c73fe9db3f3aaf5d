#pragma once

#include <QPointer>
#include <QWidget>

#include <utility>
#include <vector>

namespace orvane {

// Controls greyed while a device action runs. What the window wants for
// them meanwhile (a file found, a finished update) is kept and shown when
// the action ends, so no control comes back in the state it had before
// the action.
class ActionLocks {
public:
  // Greys the controls, remembering the state each one had.
  void Hold(const std::vector<QWidget *> &controls);
  // Gives every held control the state last wanted for it.
  void Release();
  // Enables or disables control now, or, while it is held, at the release.
  void SetEnabled(QWidget *control, bool enabled);
  // Takes control out of the hold, as it was: a running sequence keeps its
  // own Stop button.
  void Free(QWidget *control);
  bool Holds(const QWidget *control) const;

private:
  std::vector<std::pair<QPointer<QWidget>, bool>> held_;
};

} // namespace orvane
