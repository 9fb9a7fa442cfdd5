#pragma once

#include "wire/HttpExchange.h"

#include <functional>

// Where decoded exchanges go. `responseStarted` is called as soon as a response's headers are
// read (the body is still to come, `ending` is Open); `completed` once more with the final
// byte counts and ending. All run on the thread that feeds the decoder, inside its feed().
struct ExchangeSink
{
    std::function<void(const HttpExchange&)> responseStarted;
    std::function<void(const HttpExchange&)> completed;
    // A TLS connection ended (or was given up) while its records waited for a secret the key
    // log never had.
    std::function<void()> keysMissing;
};
