#include "toolkit.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const kConfHead =
    "* GLOBAL:\n"
    "    FORMAT              = \"%level %msg\"\n"
    "    ENABLED             = true\n"
    "    TO_FILE             = true\n"
    "    TO_STANDARD_OUTPUT  = false\n"
    "    LOG_FLUSH_THRESHOLD = 1\n";

std::vector<std::string> read_lines(const std::string& path)
{
    el::Loggers::flushAll();
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Points the application data folder at a fresh directory. Easylogging++ is global state, so
// every test configures it from its own conf and reads back its own log file.
class SetupLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(data_home.isValid() && conf_dir.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(data_home.path()));
    }
    void TearDown() override { qunsetenv("XDG_DATA_HOME"); }

    std::string write_conf(const std::string& text)
    {
        const std::string path = local(conf_dir.filePath("log.conf"));
        std::ofstream(path) << text;
        return path;
    }

    std::string other_file() const { return local(conf_dir.filePath("elsewhere.log")); }
    QString log_folder() const { return data_home.path() + "/Orvandel/Larkmoor"; }
    std::string log_file() const { return local(log_folder() + "/larkmoor.log"); }

    QTemporaryDir data_home;
    QTemporaryDir conf_dir;
};

// Whatever file the configuration names, for one level or globally, the log goes to ours.
TEST_F(SetupLog, FilenameInConfIsOverriddenForEveryLevel)
{
    for (const std::string scope : {"* INFO:\n", ""}) {
        const std::string tag = scope.empty() ? " global" : " info";
        const std::string conf = write_conf(kConfHead + scope + "    FILENAME = \"" + other_file() + "\"\n");
        setup_log(conf);
        LOG(INFO) << "info marker" << tag;
        LOG(ERROR) << "error marker" << tag;

        const auto lines = read_lines(log_file());
        EXPECT_TRUE(has_line(lines, "INFO Read log conf file from: " + conf));
        EXPECT_TRUE(has_line(lines, "INFO info marker" + tag));
        EXPECT_TRUE(has_line(lines, "ERROR error marker" + tag));
        EXPECT_FALSE(has_line(read_lines(other_file()), "INFO info marker" + tag));
        el::Logger* logger = el::Loggers::getLogger("default");
        for (el::Level level : {el::Level::Trace, el::Level::Debug, el::Level::Fatal, el::Level::Error,
                                el::Level::Warning, el::Level::Verbose, el::Level::Info})
            EXPECT_EQ(logger->typedConfigurations()->filename(level), log_file());
    }
}

TEST_F(SetupLog, MissingConfStillLogs)
{
    const std::string conf = local(conf_dir.filePath("absent.conf"));
    setup_log(conf);
    EXPECT_TRUE(QDir(log_folder()).exists());
    // Serial numbers and codes are logged: the folder and the file are the user's alone.
    const auto owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    EXPECT_EQ(QFile::permissions(log_folder()) & 0x7077, owner_only | QFileDevice::ExeOwner);
    EXPECT_EQ(QFile::permissions(QFile::decodeName(log_file().c_str())) & 0x7077, owner_only);

    const auto lines = read_lines(log_file());
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Read log conf file from: " + conf), std::string::npos) << lines[0];
}

TEST_F(SetupLog, SecondStartReusesFolder)
{
    ASSERT_TRUE(QDir().mkpath(log_folder()));
    const std::string conf = write_conf(kConfHead);
    setup_log(conf);
    setup_log(conf);
    LOG(INFO) << "after restart";

    const std::vector<std::string> expected = {
        "INFO Read log conf file from: " + conf,
        "INFO Read log conf file from: " + conf,
        "INFO after restart",
    };
    EXPECT_EQ(read_lines(log_file()), expected);
}

TEST_F(SetupLog, RecordCarriesCallSite)
{
    const std::string conf = write_conf(
        "* GLOBAL:\n"
        "    FORMAT              = \"%fbase:%line %func %msg\"\n"
        "    TO_FILE             = true\n"
        "    TO_STANDARD_OUTPUT  = false\n"
        "    LOG_FLUSH_THRESHOLD = 1\n");
    setup_log(conf);

    const auto lines = read_lines(log_file());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("toolkit.cpp:", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" void setup_log(std::string) Read log conf file from: " + conf), std::string::npos)
        << lines[0];
}

}  // namespace
