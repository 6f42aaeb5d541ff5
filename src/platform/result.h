// The one way core file operations report failure: a value or a FileError.
// The core never makes user texts from these; windows and ormix-cli do.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace ormix {

struct FileError {
    enum class Kind {
        NotFound,   // no such file (or a folder on the way is missing)
        NotRegular, // a folder, FIFO, device, socket: never opened for its contents
        ReadOnly,   // the file has no write permission; it is not replaced
        TooLarge,   // over the size the caller accepts
        Io,         // any other failure; `code` holds the errno
    };
    Kind kind = Kind::Io;
    int code = 0;     // errno where one applies, else 0
    std::string path; // the file the operation was about
};

template <typename T> class Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(FileError error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    const FileError& error() const { return std::get<1>(v_); }

private:
    std::variant<T, FileError> v_;
};

template <> class Result<void> {
public:
    Result() = default;
    Result(FileError error) : error_(std::move(error)), ok_(false) {}

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const FileError& error() const { return error_; }

private:
    FileError error_;
    bool ok_ = true;
};

} // namespace ormix
