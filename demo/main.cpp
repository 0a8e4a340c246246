#include "application.h"
#include "demo_token.h"
#include "sim_bus.h"

// Larkmoor with a simulated token plugged in below the real key layer, for anyone without the
// hardware: its code is the RFC 6238 test secret's, so oathtool confirms it.
int main(int argc, char* argv[])
{
    auto bus = std::make_shared<sim::SimBus>();
    bus->plug(sim::make_demo_token());
    return run_application(argc, argv, bus, "larkmoor-demo");
}
