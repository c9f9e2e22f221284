#pragma once
// Base exception of the component families: carries one message text.
#include <exception>
#include <string>

namespace qv {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

// Declares an exception family that only carries a message.
#define QV_DECLARE_EXCEPTION(Name, Base)     \
    class Name : public Base {               \
    public:                                  \
        using Base::Base;                    \
    }

QV_DECLARE_EXCEPTION(EConvertError, Exception);
QV_DECLARE_EXCEPTION(EOutOfMemory, Exception);

} // namespace qv
