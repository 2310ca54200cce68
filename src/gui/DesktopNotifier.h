#pragma once
// Desktop notifications through org.freedesktop.Notifications on the session bus. Sent without
// waiting for the answer, so a slow or missing notification server never stalls the window.
#include <QString>

namespace DesktopNotifier {

// False when there is no session bus or no notification server on it; nothing is shown then.
bool Notify(const QString& summary, const QString& body, const QString& iconName);

} // namespace DesktopNotifier
