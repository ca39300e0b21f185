#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QAuthenticator;
class QEventLoop;
class QNetworkAccessManager;
class QNetworkProxy;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace brimo {

// The Internet transfer control: one HTTP request at a time, a
// blocking fetch that keeps the event loop running, and state reports 1 to 12
// (1 resolving, 2 resolved, 3 connecting, 4 connected, 5 requesting,
// 6 request sent, 7 receiving, 8 received, 9 disconnecting, 10 disconnected,
// 11 error, 12 response completed).
class InetControl : public QObject {
    Q_OBJECT
public:
    enum AccessType : qint16 { UseDefault = 0, NamedProxy = 2 };

    explicit InetControl(QObject *parent = nullptr);
    ~InetControl() override;

    void setAccessType(AccessType type) { m_accessType = type; }
    void setUrl(const QString &url) { m_url = url; }
    void setRequestTimeout(int seconds) { m_requestTimeout = seconds; }
    // Proxy used when the access type is NamedProxy ("host" and port).
    void setProxy(const QString &host, quint16 port);

    // Takes each piece of an answer's body as it arrives; false ends the
    // transfer as failed.
    using BodySink = std::function<bool(QByteArrayView piece)>;
    // Fetches the URL with GET, handing the body to the sink as it arrives.
    // Returns the number of its bytes, 0 on any failure. Returns only when
    // the transfer has ended; window events run meanwhile.
    qint64 openUrl(const BodySink &sink);
    // With no name: the whole header text, status line first, lines ending CR LF.
    // With a name: that header's value, empty when absent.
    QByteArray getHeader(const QByteArray &name = {}) const;
    // Ends the request under way at once; openUrl then returns empty.
    void cancel();
    // The last request failed because a proxy asked for a login (407).
    bool proxyAskedForLogin() const { return m_proxyLogin; }

signals:
    void stateChanged(qint16 state);

private:
    QUrl requestUrl() const;
    QNetworkRequest makeRequest(const QUrl &url) const;
    void applyProxy();
    QNetworkProxy proxyFor(const QUrl &url) const;
    QString connectHost(const QUrl &url) const;
    void resolveThenStart(const QUrl &url);
    void startRequest(const QUrl &url);
    void readReply();
    void refuseSecondAttempt(int &attempts);
    void refuseLogin(QNetworkReply *reply, QAuthenticator *authenticator);
    void refuseProxyLogin();
    void readHead();
    void finishReply();
    bool replyIsAnswer(const QNetworkReply *reply) const;
    void keepHeaders(const QNetworkReply *reply);
    // Reports every state between the last one and `state`, so that a
    // listener always sees the states of a request in their order.
    void advanceTo(qint16 state);
    // Ends the request as failed and reports the error state.
    void fail();

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QEventLoop *m_loop = nullptr;
    AccessType m_accessType = UseDefault;
    QString m_url;
    int m_requestTimeout = 60;
    QString m_proxyHost;
    quint16 m_proxyPort = 0;
    bool m_executing = false;
    bool m_failed = false;
    bool m_proxyLogin = false;
    qint16 m_state = 0;
    int m_lookupId = -1;
    int m_connects = 0;
    int m_requestsSent = 0;
    BodySink m_sink;
    qint64 m_received = 0;
    QByteArray m_headerText;
    QList<QPair<QByteArray, QByteArray>> m_headers;
};

} // namespace brimo
