#include "app/TaskbarProgress.h"

#ifdef VESTRO_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

void Send(const QVariantMap& Props)
{
    QDBusMessage m =
        QDBusMessage::createSignal("/com/vestro/resizer/launcherentry", "com.canonical.Unity.LauncherEntry", "Update");
    m << QString("application://vestro-resizer.desktop") << Props;
    QDBusConnection::sessionBus().send(m);
}

} // namespace

TTaskbarProgress::TTaskbarProgress()
{
    // Connecting needs DBUS_SESSION_BUS_ADDRESS; without it nothing is tried.
    FAvailable =
        !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
}

void TTaskbarProgress::SetProgress(int Position, int Max)
{
    if (FAvailable && Max > 0)
        Send({{"progress", double(Position) / Max}, {"progress-visible", true}});
}

void TTaskbarProgress::SetError()
{
    if (FAvailable)
        Send({{"progress-visible", false}, {"urgent", true}});
}

void TTaskbarProgress::Clear()
{
    if (FAvailable)
        Send({{"progress-visible", false}, {"urgent", false}});
}
#else
TTaskbarProgress::TTaskbarProgress() = default;
void TTaskbarProgress::SetProgress(int, int)
{
}
void TTaskbarProgress::SetError()
{
}
void TTaskbarProgress::Clear()
{
}
#endif
