#include "collectors/sensor_driver.h"

#include "core/error.h"

namespace ordex {

void SensorDriverScan::Feed(std::string_view) { throw Error("not built yet"); }
SensorInfo SensorDriverScan::Result() const { return {}; }
SensorInfo ScanSensorDriver(std::string_view) { throw Error("not built yet"); }
SensorInfo ReadSensorInfo(const FileAccess&, std::string_view) { throw Error("not built yet"); }

}  // namespace ordex
