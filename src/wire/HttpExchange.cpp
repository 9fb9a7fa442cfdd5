#include "wire/HttpExchange.h"

namespace {

bool sameNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

const std::string* findHeader(const std::vector<HttpHeader>& headers, const std::string& name)
{
    for (const HttpHeader& header : headers) {
        if (sameNoCase(header.name, name))
            return &header.value;
    }
    return nullptr;
}

} // namespace

const std::string* HttpExchange::requestHeader(const std::string& name) const
{
    return findHeader(requestHeaders, name);
}

const std::string* HttpExchange::responseHeader(const std::string& name) const
{
    return findHeader(responseHeaders, name);
}
