#pragma once
// Finding announced services by DNS-SD (Bonjour), driven by the event loop as the publisher is:
// each service reference's socket is watched by a QSocketNotifier and its answers are processed
// when it becomes readable. Every service found is resolved to its host and port.

#include <memory>
#include <vector>

#include <QObject>
#include <QString>

class QSocketNotifier;
struct _DNSServiceRef_t;

namespace carvo {

class ServiceBrowser : public QObject {
    Q_OBJECT

public:
    struct Found {
        QString name;
        QString host;
        quint16 port = 0;
        bool operator==(const Found&) const = default;
    };

    explicit ServiceBrowser(QObject* parent = nullptr);
    ~ServiceBrowser() override;
    ServiceBrowser(const ServiceBrowser&) = delete;
    ServiceBrowser& operator=(const ServiceBrowser&) = delete;

    // Starts browsing for type in domain. On failure (no daemon reachable) returns the DNS-SD
    // error code and browses nothing; 0 when browsing has started.
    int browse(const QString& type, const QString& domain);

    // Every service resolved so far, each once, in the order they were resolved.
    const std::vector<Found>& found() const { return m_found; }

signals:
    void resolved(const ServiceBrowser::Found& service);

private:
    struct Watched;
    struct Resolve;
    friend struct ServiceBrowserCallbacks;

    std::unique_ptr<Watched> watch(_DNSServiceRef_t* ref);
    void add(const Found& service);

    std::unique_ptr<Watched> m_browse;
    std::vector<std::unique_ptr<Resolve>> m_resolves;
    std::vector<Found> m_found;
};

} // namespace carvo
