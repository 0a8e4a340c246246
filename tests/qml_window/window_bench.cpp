#include "window_bench.h"

#include "demo_token.h"
#include "hid_access.h"
#include "main_frame.h"
#include "oathtool.h"
#include "sim_bus.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

// The instruction byte of the token's "list users" command.
constexpr std::uint8_t kInsListUsers = 0x17;

std::int64_t system_seconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

WindowBench::WindowBench(QQmlEngine* engine) : engine(engine), model_time(std::make_shared<std::int64_t>(-1)) {}

WindowBench::~WindowBench()
{
    release();
}

void WindowBench::prepare(bool with_token)
{
    shut_down();
    bus = std::make_shared<sim::SimBus>();
    token = sim::make_demo_token();
    // The tests press the button themselves.
    token->set_auto_press(std::nullopt);
    // The user whose code and serial the bench reports.
    token->set_active_user(0);
    hidaccess::install_raw_device_io(bus);
    token_id = -1;
    plugged = false;
    *model_time = -1;
    if (with_token)
        plug();
}

void WindowBench::start_main_frame()
{
    main_frame = std::make_unique<MainFrame>(engine->rootContext(), qGuiApp);
    // Connected before QML sees the frame, so every new model has the bench clock before its page ticks.
    connect(main_frame.get(), &MainFrame::show_otp_status, this, &WindowBench::use_bench_clock);
    engine->rootContext()->setContextProperty("main_frame", main_frame.get());
    main_frame->rescan_key();
}

void WindowBench::shut_down()
{
    if (main_frame) {
        engine->rootContext()->setContextProperty("otp_status", nullptr);
        engine->rootContext()->setContextProperty("main_frame", nullptr);
    }
    release();
}

void WindowBench::release()
{
    main_frame.reset();
    if (bus) {
        hidaccess::install_raw_device_io(nullptr);
        bus.reset();
    }
    token.reset();
}

void WindowBench::plug()
{
    if (plugged)
        return;
    if (token_id < 0)
        token_id = bus->plug(token);
    else
        bus->replug(token_id);
    plugged = true;
}

void WindowBench::unplug()
{
    if (!plugged)
        return;
    bus->unplug(token_id);
    plugged = false;
}

void WindowBench::set_token_press_mode(bool on)
{
    token->set_press_mode(on);
}

bool WindowBench::token_press_mode() const
{
    return token->press_mode();
}

void WindowBench::set_press_wait(int milliseconds)
{
    token->set_press_wait(sim::Milliseconds(milliseconds));
}

void WindowBench::press_button()
{
    token->press_button();
}

void WindowBench::refuse_next_command()
{
    token->answer_next_command_with(0x6D, 0x00);
}

void WindowBench::answer_next_command_with(int sw1, int sw2)
{
    token->answer_next_command_with(static_cast<std::uint8_t>(sw1), static_cast<std::uint8_t>(sw2));
}

void WindowBench::set_answer_delay(int milliseconds)
{
    token->set_answer_delay(sim::Milliseconds(milliseconds));
}

int WindowBench::user_list_requests() const
{
    const std::vector<Bytes> commands = token->received_commands();
    return static_cast<int>(std::count_if(commands.begin(), commands.end(), [](const Bytes& command) {
        return command.size() > 1 && command[1] == kInsListUsers;
    }));
}

sim::SimUser WindowBench::active_user() const
{
    return token->users().front();
}

QString WindowBench::active_serial() const
{
    const Bytes serial = active_user().serial_number;
    return QString::fromLatin1(reinterpret_cast<const char*>(serial.data()), static_cast<int>(serial.size()));
}

void WindowBench::set_model_time(double seconds)
{
    *model_time = static_cast<std::int64_t>(seconds);
}

void WindowBench::use_bench_clock()
{
    OtpStatus* model = main_frame->current_otp_status();
    if (!model)
        return;
    model->set_clock([time = model_time] { return *time >= 0 ? *time : system_seconds(); });
}

QStringList WindowBench::oathtool_codes(double seconds, int count) const
{
    const sim::SimUser user = active_user();
    const std::string output = oathtool("--totp -d " + std::to_string(user.digits) + " -N @" +
                                        std::to_string(static_cast<std::int64_t>(seconds)) + " -w " +
                                        std::to_string(count - 1) + " " + hex(user.secret));
    return QString::fromStdString(output).split('\n', Qt::SkipEmptyParts);
}

QString WindowBench::clipboard_text() const
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}
