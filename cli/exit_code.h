#pragma once

namespace cli {

// What the program tells its caller; scripts rely on these numbers.
enum ExitCode : int {
    kSuccess = 0,
    kNoToken = 1,
    kCannotOpen = 2,  // the token is plugged in but cannot be opened or talked to
    kRefused = 3,     // the token refused, or its button was not pressed in time
    kBadUsage = 4,
};

}  // namespace cli
