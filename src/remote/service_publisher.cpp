#include "remote/service_publisher.h"

#include <arpa/inet.h>
#include <dns_sd.h>

#include <QSocketNotifier>
#include <QtGlobal>

#include "base/diagnostics.h"

namespace carvo {

// The C callback reaches the publisher through the context pointer given at registration.
struct ServicePublisherCallback {
    static void DNSSD_API reply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType errorCode,
                                const char* name, const char*, const char*, void* context) {
        static_cast<ServicePublisher*>(context)->handleReply(static_cast<int>(errorCode), name);
    }
};

ServicePublisher::ServicePublisher(QObject* parent) : QObject(parent) {
    // Avahi's compatibility layer prints a banner on first use unless told not to.
    if (!qEnvironmentVariableIsSet("AVAHI_COMPAT_NOWARN"))
        qputenv("AVAHI_COMPAT_NOWARN", "1");
}

ServicePublisher::~ServicePublisher() {
    stop();
}

bool ServicePublisher::publish(const QString& name, const QString& type, const QString& domain,
                               quint16 port) {
    stop();
    // Another service on this host may hold the name; like Bonjour, take "name (2)" and so on.
    constexpr int namesToTry = 9;
    DNSServiceErrorType error = kDNSServiceErr_NoError;
    for (int attempt = 1; attempt <= namesToTry; ++attempt) {
        const QString candidate =
            attempt == 1 ? name : QStringLiteral("%1 (%2)").arg(name).arg(attempt);
        DNSServiceRef ref = nullptr;
        error = DNSServiceRegister(&ref, 0, kDNSServiceInterfaceIndexAny,
                                   candidate.toUtf8().constData(), type.toUtf8().constData(),
                                   domain.toUtf8().constData(), nullptr, htons(port), 0, nullptr,
                                   &ServicePublisherCallback::reply, this);
        if (error == kDNSServiceErr_NameConflict)
            continue;
        if (error != kDNSServiceErr_NoError)
            break;
        if (attempt > 1)
            writeLine(QStringLiteral("DNS-SD name %1 is taken on this host; announced as %2")
                          .arg(name, candidate));
        m_ref = ref;
        m_notifier = new QSocketNotifier(DNSServiceRefSockFD(m_ref), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ServicePublisher::processResult);
        return true;
    }
    writeLine(QStringLiteral("DNS-SD registration of %1 failed with error %2 (is a DNS-SD "
                             "daemon running?)")
                  .arg(name)
                  .arg(error));
    return false;
}

void ServicePublisher::stop() {
    // The notifier goes first: its socket belongs to the reference and dies with it.
    delete m_notifier;
    m_notifier = nullptr;
    if (m_ref) {
        DNSServiceRefDeallocate(m_ref);
        m_ref = nullptr;
    }
}

void ServicePublisher::processResult() {
    if (!m_ref)
        return;
    const DNSServiceErrorType error = DNSServiceProcessResult(m_ref);
    if (error != kDNSServiceErr_NoError) {
        // The daemon's socket is gone; watching it further would spin.
        writeLine(QStringLiteral("DNS-SD connection lost with error %1").arg(error));
        stop();
        emit failed(static_cast<int>(error));
    }
}

void ServicePublisher::handleReply(int errorCode, const char* name) {
    if (errorCode == kDNSServiceErr_NoError) {
        emit registered(QString::fromUtf8(name));
        return;
    }
    writeLine(QStringLiteral("DNS-SD registration failed with error %1").arg(errorCode));
    // Stopping inside the callback would free the reference DNSServiceProcessResult is using.
    QMetaObject::invokeMethod(
        this,
        [this, failedRef = m_ref] {
            if (m_ref == failedRef)
                stop();
        },
        Qt::QueuedConnection);
    emit failed(errorCode);
}

} // namespace carvo
