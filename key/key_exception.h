#pragma once

#include "bytes.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class KeyException : public std::runtime_error {
public:
    explicit KeyException(const std::string& text);

    const char* what() const noexcept override;
    // Rethrows a copy as the dynamic class, so a holder of a KeyException& keeps the real class.
    [[noreturn]] virtual void raise() const;

protected:
    std::string message;
};

// The token cannot be written to or read from, or its answer is malformed.
class KeyAccessException : public KeyException {
public:
    using KeyException::KeyException;
    [[noreturn]] void raise() const override;
};

// The token answered 69 84; in press mode this means nobody pressed its button.
class KeyNoObjectException : public KeyException {
public:
    using KeyException::KeyException;
    [[noreturn]] void raise() const override;
};

// The token is busy with another program's request (U2F HID CHANNEL_BUSY): it is there and
// may well answer the next request.
class KeyBusyException : public KeyException {
public:
    using KeyException::KeyException;
    [[noreturn]] void raise() const override;
};

// No answer came before the request's deadline; the request was abandoned on the token.
class KeyTimeoutException : public KeyException {
public:
    using KeyException::KeyException;
    [[noreturn]] void raise() const override;
};

// Logs the exception with the raising site, then throws it as its own class.
[[noreturn]] void throw_exp_print_line(const KeyException& e, const char* file, int line);

#define THROW_KEY_EXCEPTION(exception) throw_exp_print_line((exception), __FILE__, __LINE__)

// The token's status words and their messages, in match order.
extern const std::vector<std::pair<std::string, Bytes>> resp_code_table;
