#pragma once
// A DNS-SD (Bonjour) announcement of one service, driven by the event loop: the daemon's socket
// is watched by a QSocketNotifier and its answers are processed when it becomes readable.

#include <QObject>
#include <QString>

class QSocketNotifier;
struct _DNSServiceRef_t;

namespace carvo {

class ServicePublisher : public QObject {
    Q_OBJECT

public:
    explicit ServicePublisher(QObject* parent = nullptr);
    ~ServicePublisher() override;
    ServicePublisher(const ServicePublisher&) = delete;
    ServicePublisher& operator=(const ServicePublisher&) = delete;

    // Registers name.type.domain on port. False, with one diagnostic line on standard output,
    // when the registration cannot be made (no daemon reachable, for instance); nothing retries.
    bool publish(const QString& name, const QString& type, const QString& domain, quint16 port);

    // Withdraws the registration; harmless when there is none.
    void stop();

    bool isPublished() const { return m_ref != nullptr; }

signals:
    // The daemon confirmed the registration under this name.
    void registered(const QString& name);
    // The daemon refused the registration later on (a name conflict, the daemon went away).
    void failed(int errorCode);

private:
    void processResult();
    void handleReply(int errorCode, const char* name);
    friend struct ServicePublisherCallback;

    _DNSServiceRef_t* m_ref = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace carvo
