#pragma once

// Sends Qt's own messages (QML warnings and errors among them) to the log file, where a user's
// report will carry them; otherwise a windowed program loses them.
void route_qt_messages_to_log();
