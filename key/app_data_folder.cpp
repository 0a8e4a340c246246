#include "app_data_folder.h"

#ifdef _WIN32
#include <windows.h>
// windows.h must come first.
#include <shlobj.h>
#endif

namespace appdata {

namespace {

bool ends_in_separator(const std::string& path)
{
    // Windows takes either slash; a root such as "C:\" already ends in one.
    return !path.empty() && (path.back() == kSeparator || path.back() == '/');
}

}  // namespace

std::string join(const std::string& folder, const std::string& name)
{
    if (folder.empty() || ends_in_separator(folder))
        return folder + name;
    return folder + kSeparator + name;
}

LogLocation log_location(const std::string& application_data_folder)
{
    LogLocation location;
    location.folder = join(join(application_data_folder, "Orvandel"), "Larkmoor");
    location.file = join(location.folder, "larkmoor.log");
    return location;
}

#ifdef _WIN32
std::string roaming_application_data_folder()
{
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, FALSE))
        return {};
    return path;
}
#endif

}  // namespace appdata
