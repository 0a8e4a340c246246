#pragma once

#include "raw_device_io.h"

#include <QString>

#include <memory>

// Start-up, event loop and shutdown of the window, over whichever devices are installed:
// hidapi for Larkmoor itself, the simulated token for the demo. instance_name keeps one
// running copy per user and program.
int run_application(int& argc, char** argv, std::shared_ptr<hidaccess::RawDeviceIo> device_io,
                    const QString& instance_name);
