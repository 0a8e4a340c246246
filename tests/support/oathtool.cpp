#include "oathtool.h"

#include <cstdio>

std::string oathtool(const std::string& arguments)
{
    FILE* pipe = popen(("oathtool " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return "cannot run oathtool";
    std::string output;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe))
        output += static_cast<char>(c);
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

std::string hex(const Bytes& bytes)
{
    std::string text;
    for (std::uint8_t byte : bytes)
        text += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 0x0F]};
    return text;
}
