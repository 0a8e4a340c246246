#include "cli.h"
#include "hidapi_device_io.h"
#include "quiet_log.h"

#include <QCoreApplication>
#include <QDir>

#include <iostream>
#include <memory>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("larkmoor-cli");
    cli::setup_quiet_log(QDir(QCoreApplication::applicationDirPath()).filePath("log.conf").toStdString());
    hidaccess::install_raw_device_io(std::make_shared<hidaccess::HidapiDeviceIo>());
    return cli::run_cli(QCoreApplication::arguments(), std::cout, std::cerr);
}
