#pragma once

// Where the log lives, worked out without Qt so that the Windows half is built and tested
// with the cross-compiler. Paths are 8-bit strings in the system's code page, as the shell
// hands them over and as the logging library opens them.

#include <string>

namespace appdata {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

struct LogLocation {
    std::string folder;  // <application data>/Orvandel/Larkmoor
    std::string file;    // that folder's larkmoor.log
};

// name inside folder, with exactly one separator between them.
std::string join(const std::string& folder, const std::string& name);

LogLocation log_location(const std::string& application_data_folder);

#ifdef _WIN32
// The user's roaming application-data folder (CSIDL_APPDATA), or an empty text when the
// shell cannot name it.
std::string roaming_application_data_folder();
#endif

}  // namespace appdata
