#pragma once

#include <string>

// Configures Easylogging++ from the file at conf_path, with the log file always in
// <application data>/Orvandel/Larkmoor/larkmoor.log. Never fails the program.
void setup_log(std::string conf_path);
