#include "app/Unit1.h"

namespace orvane {

void TForm1::BindRegisterPage() {}

} // namespace orvane
