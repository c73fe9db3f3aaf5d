#include "app/Unit1.h"

namespace orvane {

void TForm1::BindI2cPage() {}

} // namespace orvane
