#pragma once

#include "image/devicefile.h"
#include "platform/inetcontrol.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <optional>

namespace brimo {

class Reporter;

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

// Request parameters in the order they were added.
using FormData = QList<QPair<QString, QVariant>>;

// The client of the vendor web service, with its own Internet transfer
// control; the transfer's states go to the reporter.
class webservice {
public:
    // The proxy as the settings keep it, free text the user typed: an empty
    // server means the system's own proxy settings.
    struct Proxy {
        QString server;
        QString port;
    };

    // appFolder: where a downloaded image is kept until it is flashed, the
    // folder of the work file.
    webservice(Reporter &report, const QString &appFolder);

    // The service's host (and port), without scheme or slash.
    QString strHost;

    // The proxy for the requests from the next one on.
    void setProxy(const Proxy &proxy) { m_proxy = proxy; }

    // "True" when the service answers the ping with status 200, else "False".
    QString ping();
    // Fetches the image for a system number: objDF holds it when a whole
    // image came with status 200, kept in a file beside the work file; with
    // status 500 strContent holds what the service has to say. A damaged
    // image, or one that cannot be kept, is logged in one line.
    response UpdateDevice(const QString &strSystemNo);
    // Removes the file of an image still arriving: the program ends first.
    void dropDownload()
    {
        if (m_receiving)
            m_receiving->drop();
    }
    // Ends the request under way at once, as no answer.
    void cancel() { m_control.cancel(); }

    // One GET of strURI (host and path, no scheme) with the parameters. Of
    // the body only its start is kept as text; an answer without one counts
    // as none. With status 200 the body goes to `image` as it arrives.
    response execute(const QString &strURI, const FormData &objFormData,
                     ImageReceiver *image = nullptr);
    // The address execute() requests, query included.
    static QString requestAddress(const QString &strURI, const FormData &objFormData);

private:
    Reporter &m_report;
    QString m_appFolder;
    InetControl m_control;
    Proxy m_proxy;
    ImageReceiver *m_receiving = nullptr;
};

} // namespace brimo
