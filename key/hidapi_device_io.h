#pragma once

#include "raw_device_io.h"

namespace hidaccess {

// The production seam: hidapi's hidraw backend on Linux, its native backend elsewhere.
class HidapiDeviceIo : public RawDeviceIo {
public:
    std::vector<RawDeviceInfo> enumerate() override;
    std::unique_ptr<RawDevice> open(const std::string& path) override;
};

}  // namespace hidaccess
