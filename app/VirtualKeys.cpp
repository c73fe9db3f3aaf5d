#include "app/VirtualKeys.h"

#include <Qt>

namespace orvane::vk {

int FromQtKey(int qtKey) {
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
    return qtKey; // Qt uses the same codes for these
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
    return 112 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
  case Qt::Key_Backspace:
    return Back;
  case Qt::Key_Tab:
    return Tab;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return Return;
  case Qt::Key_Escape:
    return Escape;
  case Qt::Key_Space:
    return Space;
  case Qt::Key_PageUp:
    return Prior;
  case Qt::Key_PageDown:
    return Next;
  case Qt::Key_End:
    return End;
  case Qt::Key_Home:
    return Home;
  case Qt::Key_Left:
    return Left;
  case Qt::Key_Up:
    return Up;
  case Qt::Key_Right:
    return Right;
  case Qt::Key_Down:
    return Down;
  case Qt::Key_Insert:
    return Insert;
  case Qt::Key_Delete:
    return Delete;
  default:
    return 0;
  }
}

} // namespace orvane::vk
