#include "application.h"
#include "demo_token.h"
#include "early_options.h"
#include "sim_bus.h"

#include <iostream>

// Larkmoor with a simulated token plugged in below the real key layer, for anyone without the
// hardware: its code is the RFC 6238 test secret's, so oathtool confirms it.
int main(int argc, char* argv[])
{
    // larkmoor-cli cannot reach the simulated token; oathtool computes the same code from its secret.
    const ProgramAbout about{"larkmoor-demo", "Larkmoor with a simulated Orvandel OTP token plugged in.",
                             "oathtool --totp -d 6 3132333435363738393031323334353637383930"};
    if (const auto answered = answer_early_options(argc, argv, about, std::cout))
        return *answered;
    auto bus = std::make_shared<sim::SimBus>();
    bus->plug(sim::make_demo_token());
    return run_application(argc, argv, bus, "larkmoor-demo");
}
