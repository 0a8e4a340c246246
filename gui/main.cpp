#include "application.h"
#include "early_options.h"
#include "hidapi_device_io.h"

#include <QGuiApplication>

#include <iostream>

int main(int argc, char* argv[])
{
    const ProgramAbout about{"larkmoor", "Shows and copies the current code of a plugged-in Orvandel OTP token."};
    if (const auto answered = answer_early_options(argc, argv, about, std::cout))
        return *answered;
    // Wayland compositors match the window to its desktop entry, and so to its icon, by this name.
    QGuiApplication::setDesktopFileName("com.orvandel.Larkmoor");
    return run_application(argc, argv, std::make_shared<hidaccess::HidapiDeviceIo>(), "larkmoor");
}
