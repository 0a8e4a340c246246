#pragma once

#include "exit_code.h"

#include <string>

namespace cli {

// The doctor's findings, one line each, and the exit code of the first problem.
class DoctorReport {
public:
    void ok(const std::string& finding) { add("[ok] ", finding); }
    void note(const std::string& finding) { add("[note] ", finding); }
    void problem(ExitCode code, const std::string& finding);

    ExitCode verdict() const { return first_problem; }
    const std::string& text() const { return lines; }

private:
    void add(const char* mark, const std::string& finding);

    std::string lines;
    ExitCode first_problem = kSuccess;
};

}  // namespace cli
