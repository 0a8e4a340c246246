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

void StandInOtpStatus::set_otp(int value)
{
    otp_ = value;
    emit otp_changed();
}

void StandInOtpStatus::request_press_mode(bool on)
{
    press_mode_requests_.append(on);
    press_mode_pending_ = true;
    emit press_mode_pending_changed();
}

void StandInOtpStatus::finish_press_mode(bool ok)
{
    if (!press_mode_pending_)
        return;
    press_mode_pending_ = false;
    emit press_mode_pending_changed();
    emit press_mode_finished(press_mode_requests_.last().toBool(), ok);
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
