#include "remote/service_browser.h"

#include <algorithm>

#include <QSocketNotifier>

#include <dns_sd.h>

namespace carvo {

// A service reference and the notifier on its socket; the notifier goes before the reference.
struct ServiceBrowser::Watched {
    DNSServiceRef ref = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Watched() {
        notifier.reset();
        if (ref)
            DNSServiceRefDeallocate(ref);
    }
};

struct ServiceBrowser::Resolve {
    ServiceBrowser* owner = nullptr;
    QString name;
    std::unique_ptr<Watched> service;
};

// The dns_sd callbacks run inside DNSServiceProcessResult, called from the notifier, so they
// run on the event loop too.
struct ServiceBrowserCallbacks {
    static void DNSSD_API browseReply(DNSServiceRef, DNSServiceFlags flags, uint32_t interfaceIndex,
                                      DNSServiceErrorType error, const char* serviceName,
                                      const char* regtype, const char* replyDomain, void* context) {
        auto* self = static_cast<ServiceBrowser*>(context);
        if (error != kDNSServiceErr_NoError || !(flags & kDNSServiceFlagsAdd))
            return;
        auto resolve = std::make_unique<ServiceBrowser::Resolve>();
        resolve->owner = self;
        resolve->name = QString::fromUtf8(serviceName);
        DNSServiceRef ref = nullptr;
        if (DNSServiceResolve(&ref, 0, interfaceIndex, serviceName, regtype, replyDomain,
                              &resolveReply, resolve.get()) != kDNSServiceErr_NoError)
            return;
        resolve->service = self->watch(ref);
        self->m_resolves.push_back(std::move(resolve));
    }

    static void DNSSD_API resolveReply(DNSServiceRef, DNSServiceFlags, uint32_t,
                                       DNSServiceErrorType error, const char*,
                                       const char* hostTarget, uint16_t portNetworkOrder, uint16_t,
                                       const unsigned char*, void* context) {
        auto* resolve = static_cast<ServiceBrowser::Resolve*>(context);
        if (error != kDNSServiceErr_NoError)
            return;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&portNetworkOrder);
        resolve->owner->add({resolve->name, QString::fromUtf8(hostTarget),
                             static_cast<quint16>((bytes[0] << 8) | bytes[1])});
    }
};

ServiceBrowser::ServiceBrowser(QObject* parent) : QObject(parent) {}

ServiceBrowser::~ServiceBrowser() {
    m_resolves.clear();
    m_browse.reset();
}

int ServiceBrowser::browse(const QString& type, const QString& domain) {
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error =
        DNSServiceBrowse(&ref, 0, kDNSServiceInterfaceIndexAny, type.toUtf8().constData(),
                         domain.toUtf8().constData(), &ServiceBrowserCallbacks::browseReply, this);
    if (error != kDNSServiceErr_NoError)
        return static_cast<int>(error);
    m_browse = watch(ref);
    return 0;
}

std::unique_ptr<ServiceBrowser::Watched> ServiceBrowser::watch(DNSServiceRef ref) {
    auto watched = std::make_unique<Watched>();
    watched->ref = ref;
    watched->notifier =
        std::make_unique<QSocketNotifier>(DNSServiceRefSockFD(ref), QSocketNotifier::Read);
    connect(watched->notifier.get(), &QSocketNotifier::activated, this,
            [ref] { DNSServiceProcessResult(ref); });
    return watched;
}

void ServiceBrowser::add(const Found& service) {
    if (std::find(m_found.begin(), m_found.end(), service) != m_found.end())
        return;
    m_found.push_back(service);
    emit resolved(service);
}

} // namespace carvo
