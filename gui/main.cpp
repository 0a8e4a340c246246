#include "application.h"
#include "hidapi_device_io.h"

int main(int argc, char* argv[])
{
    return run_application(argc, argv, std::make_shared<hidaccess::HidapiDeviceIo>(), "larkmoor");
}
