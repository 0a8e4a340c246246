#include "doctor_report.h"

#include <easylogging++.h>

namespace cli {

void DoctorReport::problem(ExitCode code, const std::string& finding)
{
    if (first_problem == kSuccess)
        first_problem = code;
    add("[problem] ", finding);
}

void DoctorReport::add(const char* mark, const std::string& finding)
{
    LOG(INFO) << "Doctor: " << mark << finding;
    lines += mark + finding + "\n";
}

}  // namespace cli
