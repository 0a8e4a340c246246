#include "bench.h"

#include "demo_token.h"
#include "hid_access.h"
#include "main_frame.h"
#include "oathtool.h"
#include "sim_bus.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>

#include <chrono>
#include <string>

Bench::Bench(QQmlEngine* engine) : engine(engine)
{
    QDesktopServices::setUrlHandler("file", this, "open_file");
}

Bench::~Bench()
{
    QDesktopServices::unsetUrlHandler("file");
    shut_down();
}

void Bench::start(bool with_token, double model_seconds)
{
    shut_down();
    bus = std::make_shared<sim::SimBus>();
    token = sim::make_demo_token();
    // The tests press the button themselves.
    token->set_auto_press(std::nullopt);
    token->set_active_user(0);
    hidaccess::install_raw_device_io(bus);
    token_id = -1;
    plugged = false;
    set_model_time(model_seconds);
    plug(with_token);
    main_frame = std::make_unique<MainFrame>(engine->rootContext(), qGuiApp);
    // Connected before QML sees the frame, so every new model has the bench clock before its page ticks.
    connect(main_frame.get(), &MainFrame::show_otp_status, this, [this] {
        if (OtpStatus* model = main_frame->current_otp_status())
            model->set_clock([time = model_time_ms] {
                using namespace std::chrono;
                return *time >= 0 ? *time : duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
            });
    });
    publish("main_frame", QVariant::fromValue<QObject*>(main_frame.get()));
    main_frame->rescan_key();
}

void Bench::shut_down()
{
    if (main_frame) {
        publish("otp_status", QVariant::fromValue<QObject*>(nullptr));
        publish("main_frame", QVariant::fromValue<QObject*>(nullptr));
    }
    main_frame.reset();
    if (bus)
        hidaccess::install_raw_device_io(nullptr);
    bus.reset();
    token.reset();
}

// In again after an unplug: the same paths, power-cycled.
void Bench::plug(bool in)
{
    if (in == plugged)
        return;
    if (!in)
        bus->unplug(token_id);
    else if (token_id < 0)
        token_id = bus->plug(token);
    else
        bus->replug(token_id);
    plugged = in;
}

bool Bench::token_requests_done() const
{
    const OtpStatus* model = main_frame ? main_frame->current_otp_status() : nullptr;
    return model == nullptr || !model->is_worker_running();
}

QStringList Bench::oathtool_codes(double seconds, int count) const
{
    // The demo token's first user, the one start() makes active; known before a token is plugged in.
    const sim::SimUser user = sim::make_demo_token()->users().front();
    const std::string output = oathtool("--totp -d " + std::to_string(user.digits) + " -N @" +
                                        std::to_string(static_cast<std::int64_t>(seconds)) + " -w " +
                                        std::to_string(count - 1) + " " + hex(user.secret));
    return QString::fromStdString(output).split('\n', Qt::SkipEmptyParts);
}

QString Bench::clipboard_text() const
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}
