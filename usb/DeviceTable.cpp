#include "usb/DeviceTable.h"

namespace orvane {

const std::array<DeviceTableRow, kDeviceTableRows> DeviceTable = {{
    {"vid_3b5d&pid_f0b5", "Orvane-Summit", "Orvane_Summit"},
    {"vid_3b5d&pid_f0b6", "Orvane-R61", "Orvane_R61"},
    {"vid_3b5d&pid_f0b7", "Orvane-RB09-Max", "Orvane_RB09_Max"},
    {"vid_3b5d&pid_f0b8", "Orvane-R62", "Orvane_R62"},
    {"vid_3b5d&pid_f0b9", "Orvane-RB-Windmill", "Orvane_RB_Windmill"},
    {"vid_3b5d&pid_f120", "Orvane MR810", "Orvane MR810"},
    {"vid_3b5d&pid_f121", "Orvane RB-Lantern", "Orvane RB-Lantern"},
}};

} // namespace orvane
