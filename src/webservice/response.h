#pragma once

#include "image/devicefile.h"

#include <QString>

#include <optional>

namespace brimo {

// The record of one answer from the vendor web service.
struct response {
    // The HTTP status; 0 when no answer came or it had an empty body.
    qint16 iResponseCode = 0;
    // The start of the body as text: with status 500, the service's message
    // for the user.
    QString strContent;
    // The update image, when a whole one came.
    std::optional<deviceFile> objDF;
};

} // namespace brimo
