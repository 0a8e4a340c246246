#pragma once

#include <string>

// Configures Easylogging++ from the file at conf_path, with the log file always in
// <application data>/Orvandel/Larkmoor/larkmoor.log. Never fails the program: a log that cannot
// be written is said once on standard error. Returns the log file's path.
std::string setup_log(std::string conf_path);
