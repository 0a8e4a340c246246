#pragma once

#include <functional>

// How a key request ended, as the view-model tells its user. Every request of the view-model
// runs through run_key_request, so a key error is turned into this in one place.
enum class KeyOutcome {
    Done,
    // The token answered 69 84: in press mode, nobody pressed its button.
    PressNeeded,
    // The token cannot be reached any more.
    Lost,
    // Any other refusal or failure; nothing for the user, the next tick asks again.
    Failed,
};

KeyOutcome run_key_request(const std::function<void()>& request);
