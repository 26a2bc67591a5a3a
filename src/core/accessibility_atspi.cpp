// Assistive tools on Linux, which Qt reaches through AT-SPI.
#include "accessibility.h"

#include "accessibility_p.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QWidget>

namespace {

// An object on the accessibility bus, as AT-SPI names it: its owner's bus
// name and its path.
struct Reference
{
    QString service;
    QDBusObjectPath path;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Reference &reference)
{
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Reference &reference)
{
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(Reference)

namespace accessibility::platform {

void stateChanged(QWidget *widget, QAccessible::State changed)
{
    if (!changed.expanded && !changed.collapsed)
        return;
    // Qt's bridge talks to the accessibility bus over the connection it
    // names "a11y", and calls each object by its unique id under this path;
    // the change goes out from the same connection, as the bridge's own
    // events do, so that tools know whose object it is. Without the bridge
    // (no tool wants the program) there is no one to tell.
    const QDBusConnection bus(QStringLiteral("a11y"));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    if (!bus.isConnected() || !accessible)
        return;
    static const QMetaType registered = qDBusRegisterMetaType<Reference>();
    Q_UNUSED(registered);
    const QString prefix = QStringLiteral("/org/a11y/atspi/accessible/");
    const QString path = prefix + QString::number(QAccessible::uniqueId(accessible));
    const auto reference = [&bus](const QString &at) {
        return QVariant::fromValue(Reference{bus.baseService(), QDBusObjectPath(at)});
    };
    QDBusMessage signal = QDBusMessage::createSignal(
        path, QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("StateChanged"));
    signal << QStringLiteral("expanded") << int(accessible->state().expanded ? 1 : 0) << 0
           << QVariant::fromValue(QDBusVariant(reference(path)))
           << reference(prefix + QStringLiteral("root"));
    bus.send(signal);
}

} // namespace accessibility::platform

namespace accessibility {

void offerToLateScreenReaders()
{
    // Qt reads this when it first meets the accessibility bus, which a
    // desktop session starts at log-in: the program is then offered on it
    // from the start and found by a screen reader started at any time.
    // Qt sends its events only for what some tool listens to, so nobody
    // listening costs next to nothing.
    if (!qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
}

} // namespace accessibility
