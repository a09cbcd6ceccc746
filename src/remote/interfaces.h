#pragma once
// The machine's IPv4 network interfaces, for the interface picker and the server's listener.

#include <QList>
#include <QString>
#include <QUuid>

namespace carvo {

// One IPv4 address of one network interface.
struct InterfaceInfo {
    QUuid id;          // made afresh by every enumeration: the record's identity for list views
    QString name;      // the interface's name as the platform reports it (lo, eth0, en0, utun3)
    QString ipAddress; // numeric dotted-decimal text
    QString type;      // display label from interfaceType
};

// Every IPv4 address of every interface, in the platform's order (an interface with two
// addresses gives two records). Writes the list to standard output. Empty on failure.
QList<InterfaceInfo> getNetworkInterfaces();

// The display label of an interface kind, from its name; the first matching rule wins.
QString interfaceType(const QString& name);

// One line per record, as written to standard output.
QString describe(const InterfaceInfo& info);

} // namespace carvo
