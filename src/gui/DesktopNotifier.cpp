#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace DesktopNotifier {

bool Notify(const QString& summary, const QString& body, const QString& iconName) {
    static const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // Also a server that is started on demand counts: the bus activates it with the call.
    QDBusConnectionInterface* names = bus.interface();
    if (names != nullptr && !names->isServiceRegistered(service).value() &&
        !names->activatableServiceNames().value().contains(service)) {
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << QStringLiteral("Vostrand-Uploader") << 0u << iconName << summary << body
         << QStringList() << QVariantMap() << -1;
    return bus.send(call);
}

} // namespace DesktopNotifier
