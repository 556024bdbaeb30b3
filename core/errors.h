// Exception classes of the engine. Every error carries its message text; the
// framework reports it captioned with the application title.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text that is not a number or boolean where one is required.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened or created.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file whose contents could not be written in full (a full disk, a
// read-only folder); the file it was to replace is left as it was.
class EWriteError : public Exception {
public:
    using Exception::Exception;
};

// A stream that ends before the announced number of bytes.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

// Corrupt or inconsistent zlib data.
class EDecompressionError : public Exception {
public:
    using Exception::Exception;
};
