#pragma once

#include "doctor_report.h"
#include "environment.h"

namespace cli {

// Answers the questions a person asks when the token is plugged in but not found, from the
// HID listing down to the token's answer to get-active. Changes nothing and needs no root.
DoctorReport run_doctor(const Environment& environment);

}  // namespace cli
