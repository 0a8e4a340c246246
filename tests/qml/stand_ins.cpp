#include "stand_ins.h"

void StandInOtpStatus::set_token_info(const QString& value)
{
    token_info_ = value;
    emit token_info_changed();
}

int StandInOtpStatus::response_time_changed()
{
    ++response_calls_;
    return 0;
}

bool StandInOtpStatus::set_press_mode(bool on)
{
    press_mode_requests_.append(on);
    return press_mode_accepted_;
}

bool StandInOtpStatus::async_query_token_info()
{
    ++token_info_queries_;
    return true;
}

void StandInOtpStatus::deliver(int otp, int digits, const QString& err_msg)
{
    otp_ = otp;
    digits_ = digits;
    err_msg_ = err_msg;
    emit otp_changed();
}
