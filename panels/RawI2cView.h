#pragma once

#include <string>

namespace orvane {

// The "Special I2C access" group.
class RawI2cView {
public:
  virtual ~RawI2cView() = default;
  virtual std::string CommandText(int box) const = 0; // edtI2Ccmd0 to edtI2Ccmd4
  virtual std::string DataText(int box) const = 0;    // edtI2Cdat0 to edtI2Cdat4
  virtual void SetDataText(int box, const std::string &text) = 0;
  // A short outcome next to the buttons.
  virtual void ShowStatus(const std::string &text) = 0;
};

} // namespace orvane
