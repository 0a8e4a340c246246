#include "display_check.h"

#include "early_options.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <cstring>
#include <vector>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A display answers in milliseconds, one across a slow link within seconds; Qt itself would wait
// for ever.
constexpr std::chrono::seconds kAnswerLimit{10};

// The value that follows Qt's option name (or its two-dash spelling).
QByteArray option_value(int argc, const char* const* argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(qt_spelling(argv[i]), name) == 0)
            return argv[i + 1];
    }
    return QByteArray();
}

// The platforms Qt tries, in order, by plugin name without options: -platform wins over
// QT_QPA_PLATFORM, which wins over XDG_SESSION_TYPE; a Wayland session tries Wayland, then X.
QList<QByteArray> platforms_to_try(int argc, const char* const* argv)
{
    QByteArray platforms = option_value(argc, argv, "-platform");
    if (platforms.isEmpty())
        platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = qgetenv("XDG_SESSION_TYPE") == "wayland" ? "wayland;xcb" : "xcb";
    QList<QByteArray> names;
    for (const QByteArray& entry : platforms.split(';'))
        names.append(entry.split(':').first().trimmed());
    return names;
}

// xcb_connect, as Qt's X platform calls it, waits for the server's answer without a limit, so it
// runs beside the wait and is left behind when the limit passes.
bool x_display_answers(const QByteArray& name)
{
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> answered = answer->get_future();
    std::thread([answer, name] {
        xcb_connection_t* connection = xcb_connect(name.constData(), nullptr);
        answer->set_value(xcb_connection_has_error(connection) == 0);
        xcb_disconnect(connection);
    }).detach();
    return answered.wait_for(kAnswerLimit) == std::future_status::ready && answered.get();
}

// Where libwayland connects for WAYLAND_DISPLAY: a path as it is, a name in XDG_RUNTIME_DIR,
// "wayland-0" when unset. Empty where it would find nothing.
QByteArray wayland_socket_path(const QByteArray& display)
{
    const QByteArray name = display.isEmpty() ? QByteArray("wayland-0") : display;
    if (name.startsWith('/'))
        return name;
    const QByteArray runtime_folder = qgetenv("XDG_RUNTIME_DIR");
    return runtime_folder.isEmpty() ? QByteArray() : runtime_folder + '/' + name;
}

// What a Wayland compositor that answered says of itself.
struct Compositor {
    // It announces xdg-decoration, through which Qt lets it draw the window's frame.
    bool draws_frames = false;
};

// The interface a wl_registry.global event of the given size announces: after the header and the
// global's name, a string (its length with the closing NUL, then its bytes).
QByteArray announced_interface(const QByteArray& event, int size)
{
    std::uint32_t length = 0;
    if (size < 16)
        return QByteArray();
    std::memcpy(&length, event.constData() + 12, sizeof length);
    if (length == 0 || length > static_cast<std::uint32_t>(size - 16))
        return QByteArray();
    return QByteArray(event.constData() + 16, static_cast<int>(length) - 1);
}

// Whether a compositor listens there. It is asked as libwayland asks at every connection:
// wl_display.get_registry (object 1, request 1) makes registry 2, whose globals (object 2, event
// 0: name, interface, version) come before the done event (object 3, event 0) of the callback
// that wl_display.sync (request 0) makes.
std::optional<Compositor> ask_wayland_compositor(const QByteArray& display)
{
    const QByteArray path = wayland_socket_path(display);
    sockaddr_un address{};
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return std::nullopt;
    const std::uint32_t requests[] = {1, (12u << 16) | 1, 2, 1, 12u << 16, 3};
    std::optional<Compositor> answer;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(socket, requests, sizeof requests, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof requests)) {
        Compositor compositor;
        QByteArray received;
        char chunk[4096];
        const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
        while (!answer) {
            std::uint32_t header[2] = {};
            if (received.size() >= static_cast<int>(sizeof header)) {
                std::memcpy(header, received.constData(), sizeof header);
                const int size = static_cast<int>(header[1] >> 16);
                if (size < static_cast<int>(sizeof header) || size % 4 != 0)
                    break;  // not Wayland
                if (received.size() >= size) {
                    const bool first_event = (header[1] & 0xffffu) == 0;
                    if (header[0] == 3 && first_event)
                        answer = compositor;
                    else if (header[0] == 2 && first_event &&
                             announced_interface(received, size) == "zxdg_decoration_manager_v1")
                        compositor.draws_frames = true;
                    received.remove(0, size);
                    continue;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd readable{socket, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                break;
            const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            received.append(chunk, static_cast<int>(got));
        }
    }
    ::close(socket);
    return answer;
}

// How a display that did not answer was named, for the sentence: "DISPLAY=':99'", "-display ':99'".
std::string named(const char* variable, const char* separator, const QByteArray& value, const char* what)
{
    if (value.isEmpty())
        return std::string(variable) + " is not set";
    return std::string(variable) + separator + "'" + value.toStdString() + "' names no " + what + " that answers";
}

}  // namespace

std::optional<std::string> missing_display(int argc, const char* const* argv)
{
    // A connection handed over by the parent is Qt's to take; checking it would use it up.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return std::nullopt;
    const QByteArray x_option = option_value(argc, argv, "-display");
    const QByteArray x_display = x_option.isEmpty() ? qgetenv("DISPLAY") : x_option;
    const QByteArray wayland_display = qgetenv("WAYLAND_DISPLAY");
    std::vector<std::string> failures;
    bool x_tried = false;
    bool wayland_tried = false;
    for (const QByteArray& platform : platforms_to_try(argc, argv)) {
        if (platform == "xcb") {
            if (std::exchange(x_tried, true))
                continue;
            if (!x_display.isEmpty() && x_display_answers(x_display))
                return std::nullopt;
            failures.push_back(x_option.isEmpty() ? named("DISPLAY", "=", x_display, "X display")
                                                  : named("-display", " ", x_display, "X display"));
        } else if (platform.startsWith("wayland")) {
            if (std::exchange(wayland_tried, true))
                continue;
            if (const auto compositor = ask_wayland_compositor(wayland_display)) {
                // Qt asks whether it may draw a frame before it asks the compositor to draw one,
                // and that question loads the whole OpenGL stack, some 50 MB, into a window drawn
                // without it. Where the compositor draws the frame, Qt's own is never used.
                if (compositor->draws_frames && !qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
                    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
                return std::nullopt;
            }
            failures.push_back(named("WAYLAND_DISPLAY", "=", wayland_display, "Wayland compositor"));
        } else {
            // offscreen, minimal, vnc, eglfs, linuxfb or one we do not know: Qt's to judge.
            return std::nullopt;
        }
    }
    if (x_display.isEmpty() && wayland_display.isEmpty())
        return std::string("Larkmoor needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set.");
    std::string sentence = "Larkmoor cannot open its window: ";
    for (std::size_t i = 0; i < failures.size(); ++i)
        sentence += (i == 0 ? "" : ", and ") + failures[i];
    return sentence + ".";
}

#else

std::optional<std::string> missing_display(int, const char* const*)
{
    return std::nullopt;
}

#endif
