#pragma once

#include "webservice/response.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <memory>

namespace brimo {

class WindowLink;
class deviceFile;

// Request parameters in the order they were added.
using FormData = QList<QPair<QString, QVariant>>;

// The client of the vendor web service.
class webservice {
public:
    // What UpdateDevice made of the answer.
    enum UpdateResult : qint16 {
        ImageLoaded = 0, // status 200 with a whole image: loaded into the container
        Refused = 1,     // status 500: the service's message has been shown
        NoImage = 2,     // anything else, a damaged image included: worth another try
    };

    explicit webservice(WindowLink &window);

    QString strHost;
    QString strPath;
    std::shared_ptr<response> objResponse;

    // One GET of strURI (host and path, no scheme) with the parameters.
    std::shared_ptr<response> execute(const QString &strURI, const FormData &objFormData);
    // The address execute() requests, query included.
    static QString requestAddress(const QString &strURI, const FormData &objFormData);

    // "True" when the service answers the ping with status 200, else "False".
    QString ping();
    // Fetches the image for a system number into objDF, which is left as it
    // was unless the result is ImageLoaded.
    UpdateResult UpdateDevice(const QString &strSystemNo, deviceFile &objDF);

private:
    WindowLink &m_window;
};

} // namespace brimo
