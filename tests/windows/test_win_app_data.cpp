#include "app_data_folder.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool is_folder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(AppDataFolder, IsTheUsersRoamingFolder)
{
    const std::string folder = appdata::roaming_application_data_folder();
    // The environment names the same folder independently of the shell.
    const char* environment = std::getenv("APPDATA");
    ASSERT_NE(environment, nullptr);
    EXPECT_EQ(folder, environment);
    EXPECT_TRUE(ends_with(folder, "\\AppData\\Roaming")) << folder;
    EXPECT_TRUE(is_folder(folder)) << folder;
}

TEST(AppDataFolder, LogSitsInOrvandelLarkmoorWithBackslashes)
{
    const std::string roaming = appdata::roaming_application_data_folder();
    const appdata::LogLocation location = appdata::log_location(roaming);
    EXPECT_EQ(location.folder, roaming + "\\Orvandel\\Larkmoor");
    EXPECT_EQ(location.file, roaming + "\\Orvandel\\Larkmoor\\larkmoor.log");

    // A root or a folder given with a trailing slash of either kind gets no second one.
    EXPECT_EQ(appdata::log_location("C:\\").file, "C:\\Orvandel\\Larkmoor\\larkmoor.log");
    EXPECT_EQ(appdata::log_location("D:/profiles/ada/").folder, "D:/profiles/ada/Orvandel\\Larkmoor");
}

// The path goes to the logging library as it is: records end up in that file under Windows.
TEST(AppDataFolder, LoggingLibraryWritesToTheLogFile)
{
    const appdata::LogLocation location = appdata::log_location(appdata::roaming_application_data_folder());
    const std::string orvandel = location.folder.substr(0, location.folder.rfind('\\'));
    CreateDirectoryA(orvandel.c_str(), nullptr);
    CreateDirectoryA(location.folder.c_str(), nullptr);
    ASSERT_TRUE(is_folder(location.folder));
    DeleteFileA(location.file.c_str());

    el::Configurations configuration;
    configuration.setToDefault();
    configuration.setGlobally(el::ConfigurationType::Filename, location.file);
    configuration.setGlobally(el::ConfigurationType::ToStandardOutput, "false");
    el::Loggers::reconfigureLogger("default", configuration);
    LOG(INFO) << "Read log conf file from: C:\\Program Files\\Larkmoor\\log.conf";
    el::Loggers::getLogger("default")->flush();

    std::ifstream file(location.file);
    std::stringstream contents;
    contents << file.rdbuf();
    EXPECT_NE(contents.str().find("Read log conf file from: C:\\Program Files\\Larkmoor\\log.conf"), std::string::npos);

    file.close();
    el::Loggers::reconfigureLogger("default", el::Configurations());
    DeleteFileA(location.file.c_str());
    RemoveDirectoryA(location.folder.c_str());
    RemoveDirectoryA(orvandel.c_str());
}
