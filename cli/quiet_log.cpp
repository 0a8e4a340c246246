#include "quiet_log.h"

#include "toolkit.h"

#include <easylogging++.h>

#include <iostream>

namespace cli {

namespace {

// Swallows what a stream writes while alive.
class MutedStream {
public:
    explicit MutedStream(std::ostream& stream) : stream(stream), saved(stream.rdbuf(nullptr)) {}
    ~MutedStream()
    {
        stream.rdbuf(saved);
        stream.clear();
    }
    MutedStream(const MutedStream&) = delete;
    MutedStream& operator=(const MutedStream&) = delete;

private:
    std::ostream& stream;
    std::streambuf* saved;
};

}  // namespace

void setup_quiet_log(const std::string& conf_path)
{
    {
        // The library writes its terminal copy of the first record, and any complaint about the
        // file, before the configuration can be changed.
        const MutedStream out(std::cout);
        const MutedStream err(std::cerr);
        setup_log(conf_path);
    }
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::ToStandardOutput, "false");
}

}  // namespace cli
