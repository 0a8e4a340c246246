#include "terminal.h"

namespace cli {

void Terminal::write(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    err << text;
    if (text.empty() || text.back() != '\n')
        err << '\n';
    err.flush();
}

}  // namespace cli
