#include "oathtool.h"

#include <array>
#include <cstdio>
#include <iomanip>
#include <sstream>

std::string oathtool(const std::string& arguments)
{
    const std::string command = "oathtool " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "cannot run oathtool";
    std::string output;
    std::array<char, 128> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        output += buffer.data();
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

std::string hex(const Bytes& bytes)
{
    std::ostringstream text;
    for (std::uint8_t byte : bytes)
        text << std::hex << std::setw(2) << std::setfill('0') << int(byte);
    return text.str();
}

std::string zero_padded(std::uint32_t code, int digits)
{
    std::ostringstream text;
    text << std::setw(digits) << std::setfill('0') << code;
    return text.str();
}
