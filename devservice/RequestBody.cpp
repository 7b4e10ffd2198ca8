#include "RequestBody.h"

#include <algorithm>
#include <charconv>
#include <strings.h>

namespace lumora::devservice {

namespace {

using Refusal = std::unexpected<HttpError>;

// The methods whose body httplib reads; on any other a body would be left to pass for the next request.
bool bodyIsRead(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH" || method == "DELETE" || method == "PRI";
}

bool isCompressed(const httplib::Request& req) {
    const size_t count = req.get_header_value_count("Content-Encoding");
    for (size_t i = 0; i < count; ++i)
        if (strcasecmp(req.get_header_value("Content-Encoding", i).c_str(), "identity") != 0)
            return true;
    return false;
}

std::optional<std::uint64_t> parseLength(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

std::expected<std::uint64_t, HttpError> admittedBodyLength(const httplib::Request& req,
                                                           std::uint64_t maxBytes) {
    if (req.has_header("Transfer-Encoding"))
        return Refusal(HttpError(
            411, QStringLiteral("Send the body with a Content-Length; Transfer-Encoding is not accepted")));
    if (isCompressed(req))
        return Refusal(HttpError(415, QStringLiteral("Compressed request bodies are not accepted")));
    const size_t lengths = req.get_header_value_count("Content-Length");
    if (lengths == 0) {
        if (bodyIsRead(req.method))
            return Refusal(HttpError(411, QStringLiteral("A %1 request needs a Content-Length")
                                              .arg(QString::fromStdString(req.method))));
        return 0;
    }
    const auto length = lengths == 1 ? parseLength(req.get_header_value("Content-Length")) : std::nullopt;
    if (!length)
        return Refusal(HttpError(400, QStringLiteral("Content-Length must be one number of bytes")));
    if (*length > 0 && !bodyIsRead(req.method))
        return Refusal(HttpError(
            400, QStringLiteral("A %1 request takes no body").arg(QString::fromStdString(req.method))));
    if (*length > maxBytes)
        return Refusal(HttpError(413, QStringLiteral("The request body is too large")));
    return *length;
}

} // namespace lumora::devservice
