#pragma once

#include "image/devicefile.h"
#include "platform/inetcontrol.h"
#include "settings/settingsstore.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
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
    // Why the request brought nothing (a proxy that asked for a login), or an
    // answer of 200 no image, in one log line; empty otherwise.
    QString problem;
    // The answer's status line as the service sent it ("HTTP/1.1 200 OK");
    // empty when none came.
    QString statusLine;
};

// A proxy the settings name, as host and port.
struct NamedProxy {
    QString host;
    quint16 port = 0;
};
// The proxy the settings name for every request; none: the system's own
// proxy settings apply. Read anew each time.
std::optional<NamedProxy> namedProxy(SettingsStore &settings);

// The vendor's web service as the update session reaches it. Each request
// returns only when it has ended; window events run meanwhile.
class UpdateService {
public:
    // Takes each state (1 to 12, see InetControl) a request reaches, as it
    // reaches it.
    using StateListener = std::function<void(qint16 state)>;

    virtual ~UpdateService() = default;
    // The Internet test: the service is there when its answer to the ping
    // has status 200.
    virtual response ping(const StateListener &states) = 0;
    // Fetches the image for a system number: objDF holds it when a whole
    // image came with status 200, kept in a file beside the work file; with
    // status 500 strContent holds what the service has to say.
    virtual response UpdateDevice(const QString &strSystemNo, const StateListener &states) = 0;
    // Ends the request under way at once, as no answer.
    virtual void cancel() = 0;

protected:
    UpdateService() = default;
    UpdateService(const UpdateService &) = default;
    UpdateService &operator=(const UpdateService &) = default;
};

// The client of the vendor web service over HTTP, with its own Internet
// transfer control.
class webservice : public UpdateService {
public:
    // host: the service's host (and port), without scheme or slash.
    // appFolder: where a downloaded image is kept until it is flashed, the
    // folder of the work file. settings: the proxy is read there before each
    // request, so that a change counts from the next one.
    webservice(const QString &host, const QString &appFolder, SettingsStore &settings);

    response ping(const StateListener &states) override;
    response UpdateDevice(const QString &strSystemNo, const StateListener &states) override;
    void cancel() override { m_control.cancel(); }

private:
    // Request parameters in the order they were added.
    using FormData = QList<QPair<QString, QString>>;
    // One GET of strURI (host and path, no scheme) with the parameters. Of
    // the body only its start is kept as text; an answer without one counts
    // as none. With status 200 the body goes to `image` as it arrives.
    response execute(const QString &strURI, const FormData &objFormData,
                     const StateListener &states, ImageReceiver *image = nullptr);

    QString strHost;
    QString m_appFolder;
    SettingsStore &m_settings;
    InetControl m_control;
};

} // namespace brimo
