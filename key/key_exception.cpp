#include "key_exception.h"

#include <easylogging++.h>

#include <exception>

KeyException::KeyException(const std::string& text)
    : std::runtime_error(text), message(text)
{
}

const char* KeyException::what() const noexcept
{
    return message.c_str();
}

void KeyException::raise() const
{
    throw *this;
}

void KeyAccessException::raise() const
{
    throw *this;
}

void KeyNoObjectException::raise() const
{
    throw *this;
}

void KeyBusyException::raise() const
{
    throw *this;
}

void KeyTimeoutException::raise() const
{
    throw *this;
}

void throw_exp_print_line(const KeyException& e, const char* file, int line)
{
    LOG(INFO) << "Key Exception (" << e.what() << ") occurs at " << file << ":" << line;
    e.raise();
    std::terminate();  // raise() always throws; this only tells the compiler
}

const std::vector<std::pair<std::string, Bytes>> resp_code_table = {
    {"Success", {0x90, 0x00}},
    {"No space", {0x6A, 0x84}},
    {"Auth required", {0x69, 0x82}},
    {"Wrong syntax", {0x6A, 0x80}},
    {"Generic error", {0x65, 0x81}},
    {"No such object", {0x69, 0x84}},
    {"Wrong length", {0x67, 0x00}},
    {"Conditions not satisfied", {0x69, 0x85}},
    {"Ins not supported", {0x6D, 0x00}},
};
