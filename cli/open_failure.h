#pragma once

#include "doctor_report.h"
#include "environment.h"

#include <string>

namespace cli {

// Says why a collection of the token did not open, and what to do about it.
class OpenFailureExplainer {
public:
    explicit OpenFailureExplainer(const Environment& environment);

    void explain(const std::string& path, DoctorReport& report);

private:
#ifdef __linux__
    void explain_permission(const std::string& path, DoctorReport& report);

    std::shared_ptr<LinuxSystem> system;
    bool system_questions_asked = false;  // the rule and the session are the same for every node
#endif
};

}  // namespace cli
